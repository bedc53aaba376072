// The library's operations that leave alone what is right: sectors that already hold the image
// are neither erased nor programmed, VerifyFlash compares without writing, ReadFlash gives the
// flash's bytes; and the identity block an image may carry, with the Intel HEX writer.
#include "flashlib/hex_reader.hpp"
#include "flashlib/hex_writer.hpp"
#include "flashlib/image_identity.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace trx::flash::testing {
namespace {

// Sector 0 (the reset vector), 1 and 3.
Chunks three_sectors(std::uint32_t seed) {
    Chunks c = code_chunk(0x0000, 0x800, seed);
    c.merge(random_chunk(0x4000, 0x600, seed + 1));
    c.merge(code_chunk(0x8000, 0x900, seed + 2));
    return c;
}
constexpr std::uint32_t k_three_mask = 0b1011;

// Every line the library logs, so a test sees which frames went out.
struct FrameLog {
    std::vector<std::string> lines;
    static void record(void* self, int /*level*/, const char* text) {
        static_cast<FrameLog*>(self)->lines.emplace_back(text);
    }
    [[nodiscard]] std::vector<std::string> sent(const std::string& type) const {
        std::vector<std::string> found;
        for (const auto& l : lines) {
            if (l.starts_with("sent " + type + " ")) {
                found.push_back(l);
            }
        }
        return found;
    }
};

struct VerifyRun {
    bool ok = false;
    std::int32_t differing = -1;
    std::string error;
};

// SetCom, InitMonitor, AdjustCpuFrequency, LoadFile, VerifyFlash, CloseCom.
VerifyRun run_verify(FlashLibrary& lib, const std::string& hex_path) {
    char name[33] = {};
    std::fill_n(name, 32, ' ');
    double hz = 0;
    std::int32_t size = 0;
    VerifyRun run;
    run.ok = lib.SetCom("COM1", 57600) == 1 && lib.InitMonitor(name) == 1 &&
             lib.AdjustCpuFrequency(&hz) == 1 && lib.LoadFile(hex_path.c_str(), &size) == 1 &&
             lib.VerifyFlash(&run.differing) == 1;
    run.error = lib.last_error();
    (void)lib.CloseCom();
    return run;
}

struct ReadRun {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

ReadRun run_read(FlashLibrary& lib, std::uint32_t address, std::uint32_t length) {
    char name[33] = {};
    std::fill_n(name, 32, ' ');
    ReadRun run;
    run.bytes.assign(length, 0);
    run.ok = lib.SetCom("COM1", 57600) == 1 && lib.InitMonitor(name) == 1 &&
             lib.ReadFlash(address, length, run.bytes.data()) == 1;
    run.error = lib.last_error();
    (void)lib.CloseCom();
    return run;
}

TEST(FlashSkip, AnImageThatIsThereAlreadyIsNeitherErasedNorWrittenAndTheFirmwareStarts) {
    SimRig rig(7);
    const Chunks image = three_sectors(70);
    TempHex hex(to_intel_hex(image));
    ASSERT_TRUE(rig.update(hex.path()).ok());
    const auto after_first =
        std::vector<std::uint8_t>(rig.memory.content().begin(), rig.memory.content().end());
    const auto programmed = rig.memory.program_operations();
    FrameLog log;
    rig.library.set_log(&FrameLog::record, &log);

    const UpdateRun again = rig.update(hex.path());

    ASSERT_TRUE(again.ok()) << again.failed_step << ": " << again.error;
    EXPECT_TRUE(log.sent("ERASE").empty());
    EXPECT_TRUE(log.sent("DATA").empty());
    EXPECT_TRUE(log.sent("ZDATA").empty());
    EXPECT_EQ(log.sent("CRC").size(), 3U);
    EXPECT_EQ(rig.memory.program_operations(), programmed);
    EXPECT_TRUE(std::ranges::equal(rig.memory.content(), after_first));
    EXPECT_EQ(rig.library.skipped_sectors(), 3);
    EXPECT_TRUE(rig.target.finished()) << "GO did not start the firmware";
}

TEST(FlashSkip, OneChangedSectorIsErasedWithTheVectorsSectorWhichIsWrittenLast) {
    SimRig rig(8);
    const Chunks image = three_sectors(80);
    TempHex hex(to_intel_hex(image));
    ASSERT_TRUE(rig.update(hex.path()).ok());
    Chunks changed = image;
    changed[0x8000][0x10] ^= 0x5A; // sector 3 only
    TempHex changed_hex(to_intel_hex(changed));
    FrameLog log;
    rig.library.set_log(&FrameLog::record, &log);

    const UpdateRun run = rig.update(changed_hex.path());

    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    const auto erases = log.sent("ERASE");
    ASSERT_EQ(erases.size(), 2U);
    EXPECT_NE(erases[0].find("0x000000"), std::string::npos) << erases[0];
    EXPECT_NE(erases[1].find("0x008000"), std::string::npos) << erases[1];
    for (const auto& l : log.sent("DATA")) {
        EXPECT_EQ(l.find("0x004"), std::string::npos) << "sector 1 was written: " << l;
    }
    EXPECT_EQ(rig.target.counters().last_data_address, 0x000000U);
    EXPECT_EQ(rig.library.skipped_sectors(), 1);
    EXPECT_TRUE(std::ranges::equal(rig.memory.content(), rig.expected(changed, k_three_mask)));
    EXPECT_EQ(rig.memory.reprogrammed_bytes(), 0U);
}

TEST(FlashVerify, NamesTheSectorsThatDifferAndWritesNothing) {
    SimRig rig(9);
    const Chunks image = three_sectors(90);
    TempHex hex(to_intel_hex(image));

    const VerifyRun before = run_verify(rig.library, hex.path());
    ASSERT_TRUE(before.ok) << before.error;
    EXPECT_EQ(before.differing, static_cast<std::int32_t>(k_three_mask)); // random flash
    EXPECT_TRUE(std::ranges::equal(rig.memory.content(), rig.before));

    ASSERT_TRUE(rig.update(hex.path()).ok());
    const VerifyRun identical = run_verify(rig.library, hex.path());
    ASSERT_TRUE(identical.ok) << identical.error;
    EXPECT_EQ(identical.differing, 0);
    EXPECT_TRUE(rig.target.finished()) << "the untouched firmware did not start again";

    Chunks one_off = image;
    one_off[0x4000][0x20] ^= 0x01;
    TempHex one_off_hex(to_intel_hex(one_off));
    const auto flash_before =
        std::vector<std::uint8_t>(rig.memory.content().begin(), rig.memory.content().end());
    const VerifyRun differs = run_verify(rig.library, one_off_hex.path());
    ASSERT_TRUE(differs.ok) << differs.error;
    EXPECT_EQ(differs.differing, 0b10);
    EXPECT_TRUE(std::ranges::equal(rig.memory.content(), flash_before));
}

TEST(FlashRead, GivesTheFlashsBytesAndRetriesShortAnswers) {
    sim::TargetConfig config;
    config.faults.short_reads = 2;
    SimRig rig(10, config);
    const ReadRun run = run_read(rig.library, 0x3F80, 0x300); // across a sector boundary
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_TRUE(std::equal(run.bytes.begin(), run.bytes.end(), rig.before.begin() + 0x3F80));
}

TEST(FlashRead, AnswersForAnotherAddressOrARangeOutsideTheFlashFailWithAReason) {
    sim::TargetConfig config;
    config.faults.wrong_read_address = true;
    SimRig rig(11, config);
    const ReadRun wrong = run_read(rig.library, 0x100, 0x100);
    EXPECT_FALSE(wrong.ok);
    EXPECT_NE(wrong.error.find("is for 0x000200"), std::string::npos) << wrong.error;

    SimRig plain(12);
    const ReadRun outside = run_read(plain.library, 0x3FF00, 0x200);
    EXPECT_FALSE(outside.ok);
    EXPECT_NE(outside.error.find("not all in the target's flash"), std::string::npos)
        << outside.error;
}

HexImage image_of(const Chunks& chunks) {
    HexImage img;
    for (const auto& [start, data] : chunks) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            (void)img.put(start + static_cast<std::uint32_t>(i), data[i]);
        }
    }
    return img;
}

ImageIdentity za_110() {
    ImageIdentity id;
    id.types = k_for_za;
    id.version = 110;
    id.date = {2026, 12, 1};
    return id;
}

TEST(ImageIdentityBlock, IsFoundWhereItWasStampedAndItsCrcCatchesAnyChangedByte) {
    const HexImage plain = image_of(three_sectors(100));
    EXPECT_EQ(find_identity(plain).kind, IdentityFound::Kind::none);
    std::string why;
    const auto stamped = stamp_identity(plain, za_110(), std::nullopt, trx81500_layout(), why);
    ASSERT_TRUE(stamped) << why;

    const IdentityFound found = find_identity(*stamped);
    ASSERT_EQ(found.kind, IdentityFound::Kind::found);
    EXPECT_EQ(found.identity.at, 0x8900U); // the first free block after the data
    EXPECT_EQ(found.identity.types, k_for_za);
    EXPECT_EQ(found.identity.version, 110);
    EXPECT_EQ(found.identity.date, (BuildDate{2026, 12, 1}));
    EXPECT_EQ(found.identity.start, 0U);
    EXPECT_TRUE(found.crc_matches());

    // Through the writer and the reader: the same block, still matching.
    const HexResult back = parse_intel_hex(write_intel_hex(*stamped), trx81500_layout(), 0);
    ASSERT_TRUE(back.ok()) << back.error.message;
    EXPECT_EQ(back.image.size(), stamped->size());
    EXPECT_TRUE(find_identity(back.image).crc_matches());

    for (std::uint32_t a : {0x0003U, 0x4100U, 0x88FFU}) {
        SCOPED_TRACE(a);
        HexImage one = HexImage();
        for (const auto& [address, page] : stamped->pages()) {
            for (std::uint32_t i = 0; i < HexImage::k_page; ++i) {
                if (page.present[i]) {
                    const std::uint32_t at = address + i;
                    (void)one.put(at, at == a ? static_cast<std::uint8_t>(page.bytes[i] ^ 1)
                                              : page.bytes[i]);
                }
            }
        }
        const IdentityFound f = find_identity(one);
        ASSERT_EQ(f.kind, IdentityFound::Kind::found);
        EXPECT_FALSE(f.crc_matches());
    }
}

TEST(ImageIdentityBlock, ADamagedBlockIsToldApartAndStampingRefusesBadPlaces) {
    const HexImage plain = image_of(three_sectors(110));
    std::string why;
    auto stamped = stamp_identity(plain, za_110(), 0x20010, trx81500_layout(), why);
    ASSERT_TRUE(stamped) << why;
    EXPECT_EQ(find_identity(*stamped).identity.at, 0x20010U);
    EXPECT_EQ(find_identity(*stamped).identity.end, 0x20010U + k_identity_size);

    // One bit of the version flipped: the block's own check fails.
    HexImage damaged;
    for (const auto& [address, page] : stamped->pages()) {
        for (std::uint32_t i = 0; i < HexImage::k_page; ++i) {
            if (page.present[i]) {
                const std::uint32_t at = address + i;
                (void)damaged.put(at, at == 0x20010 + 18 ? page.bytes[i] ^ 0x02 : page.bytes[i]);
            }
        }
    }
    EXPECT_EQ(find_identity(damaged).kind, IdentityFound::Kind::damaged_block);

    EXPECT_FALSE(stamp_identity(plain, za_110(), 0x0008, trx81500_layout(), why));
    EXPECT_NE(why.find("not a multiple of 16"), std::string::npos) << why;
    EXPECT_FALSE(stamp_identity(plain, za_110(), 0x0100, trx81500_layout(), why));
    EXPECT_NE(why.find("holds data"), std::string::npos) << why;
    EXPECT_FALSE(stamp_identity(plain, za_110(), 0x3FFF0, trx81500_layout(), why));
    EXPECT_NE(why.find("outside the flash"), std::string::npos) << why;
    EXPECT_FALSE(stamp_identity(*stamped, za_110(), std::nullopt, trx81500_layout(), why));
}

TEST(ImageIdentityBlock, VersionsAndTypesReadAndWriteAsTheReplyCarriesThem) {
    EXPECT_EQ(parse_version("1.10"), 110);
    EXPECT_EQ(parse_version("1.1"), 110);
    EXPECT_EQ(parse_version("2"), 200);
    EXPECT_EQ(parse_version("0.05"), 5);
    EXPECT_FALSE(parse_version("1."));
    EXPECT_FALSE(parse_version("1.100"));
    EXPECT_FALSE(parse_version("x"));
    EXPECT_FALSE(parse_version("700"));
    EXPECT_EQ(version_text(110), "1.10");
    EXPECT_EQ(version_text(5), "0.05");
    EXPECT_EQ(parse_types("any"), k_for_any);
    EXPECT_EQ(parse_types("YA"), k_for_ya);
    EXPECT_FALSE(parse_types("XA"));
    EXPECT_EQ(types_text(k_for_za), "ZA");
}

TEST(ImageIdentityBlock, TheSimulatorFindsItInItsFlash) {
    const HexImage plain = image_of(three_sectors(120));
    std::string why;
    const auto stamped = stamp_identity(plain, za_110(), std::nullopt, trx81500_layout(), why);
    ASSERT_TRUE(stamped) << why;
    std::vector<std::uint8_t> flash(0x40000, 0xFF);
    for (const auto& [address, page] : stamped->pages()) {
        std::copy(page.bytes.begin(), page.bytes.end(), flash.begin() + address);
    }
    const auto id = identity_in(flash, 0);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->version, 110);
    std::fill(flash.begin() + 0x8900, flash.begin() + 0x8910, 0xFF);
    EXPECT_FALSE(identity_in(flash, 0));
}

} // namespace
} // namespace trx::flash::testing
