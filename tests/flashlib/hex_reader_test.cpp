#include "flashlib/checksums.hpp"
#include "flashlib/hex_reader.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>

namespace trx::flash {
namespace {

std::string record(std::uint8_t type, std::uint16_t offset, std::vector<std::uint8_t> data) {
    return testing::intel_record(type, offset, data);
}

const std::string k_end = ":00000001FF";

// A flash of 2 MiB, so that addresses above 1 MiB are in it.
FlashLayout wide_layout() {
    return FlashLayout{{{0, 0x100000}, {0x100000, 0x100000}}};
}

struct BadCase {
    const char* name;
    std::string text;
    HexProblem problem;
    int line;
};

TEST(HexReader, RejectsEachFaultWithItsLineAndReason) {
    const std::string data = record(0, 0x0100, {1, 2, 3, 4});
    const std::vector<BadCase> cases = {
        {"no colon", data + "\n" + "00000001FF\n", HexProblem::bad_character, 2},
        {"letter G", ":02010000G1021C\n" + k_end, HexProblem::bad_character, 1},
        {"blank inside", ":0201 0000 01021C\n" + k_end, HexProblem::bad_character, 1},
        {"odd digits", data + "\r\n:0201000001021\r\n" + k_end, HexProblem::wrong_length, 2},
        {"count too big", ":0301000001021B\n" + k_end, HexProblem::wrong_length, 1},
        {"too short", ":000000\n" + k_end, HexProblem::wrong_length, 1},
        {"segment record of 4", data + "\n" + record(2, 0, {0, 1, 0, 0}) + "\n" + k_end,
         HexProblem::wrong_length, 2},
        {"end record with data", data + "\n" + record(1, 0, {0}), HexProblem::wrong_length, 2},
        {"checksum", ":0401000001020304F2\n" + k_end, HexProblem::bad_checksum, 1},
        {"type 06", data + "\n\n" + record(6, 0, {}) + "\n" + k_end,
         HexProblem::unknown_record_type, 3},
        {"no end record", data + "\n" + data + "\n", HexProblem::missing_end_record, 3},
        {"empty file", "", HexProblem::missing_end_record, 1},
        {"differing overlap", data + "\n" + record(0, 0x0102, {9}) + "\n" + k_end,
         HexProblem::overlapping_data, 2},
        {"beyond the flash", record(4, 0, {0x00, 0x04}) + "\n" + data + "\n" + k_end,
         HexProblem::outside_flash, 2},
        {"segment beyond the flash", record(2, 0, {0x40, 0x00}) + "\r" + data + "\r" + k_end,
         HexProblem::outside_flash, 2},
        {"only an end record", "\n" + k_end + "\n", HexProblem::no_data, 2},
        {"data after the end only", k_end + "\n" + data + "\n", HexProblem::no_data, 1},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const HexResult r = parse_intel_hex(c.text, trx81500_layout());
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error.problem, c.problem);
        EXPECT_EQ(r.error.line, c.line);
        EXPECT_EQ(r.error.message.rfind("line " + std::to_string(c.line) + ": ", 0), 0U)
            << r.error.message;
    }
}

TEST(HexReader, ReadsSegmentAndLinearAddressingInEitherCaseAndAnyLineEnd) {
    // Segment 0x1000 (base 0x10000), offset 0xFFFE: the last two bytes wrap to the segment's
    // start. Then 04 0x0012 (base 0x120000, above 1 MiB), then a 02 segment 0xFFFF
    // (base 0xFFFF0, its offset 0x20 is above 1 MiB too). Records out of address order.
    std::string text;
    text += record(2, 0, {0x10, 0x00}) + "\r\n";
    text += record(0, 0xFFFE, {0xA1, 0xA2, 0xA3, 0xA4}) + "\n";
    text += record(4, 0, {0x00, 0x12}) + "\r";
    text += record(0, 0x0010, {0xB1, 0xB2}) + "\r\n";
    text += record(0, 0x0000, {0xB0}) + "\r\n";
    text += record(2, 0, {0xFF, 0xFF}) + "\n";
    text += record(0, 0x0020, {0xC0}) + "\n";
    text += record(3, 0, {0x12, 0x34, 0x56, 0x78}) + "\n";
    text += record(5, 0, {0x00, 0x01, 0x00, 0x00}) + "\n";
    text += k_end + "\r\n";
    std::string lower = text;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const std::string& t : {text, lower}) {
        const HexResult r = parse_intel_hex(t, wide_layout());
        ASSERT_TRUE(r.ok()) << r.error.message;
        const HexImage& img = r.image;
        EXPECT_EQ(img.size(), 8U);
        EXPECT_EQ(img.at(0x1FFFE), 0xA1);
        EXPECT_EQ(img.at(0x1FFFF), 0xA2);
        EXPECT_EQ(img.at(0x10000), 0xA3); // wrapped within the segment
        EXPECT_EQ(img.at(0x10001), 0xA4);
        EXPECT_EQ(img.at(0x20000), 0xFF); // not carried into the next segment
        EXPECT_EQ(img.at(0x120000), 0xB0);
        EXPECT_EQ(img.at(0x120011), 0xB2);
        EXPECT_EQ(img.at(0x100010), 0xC0);
    }
}

TEST(HexReader, CountsRepeatedEqualDataOnceAndStopsAtTheEndRecord) {
    const std::string text = record(0, 0x10, {1, 2, 3}) + "\n" + record(0, 0x11, {2, 3, 4}) + "\n" +
                             k_end + "\nthis is not a record\n";
    const HexResult r = parse_intel_hex(text, trx81500_layout());
    ASSERT_TRUE(r.ok()) << r.error.message;
    EXPECT_EQ(r.image.size(), 4U);
    EXPECT_EQ(r.image.at(0x13), 4);
}

TEST(HexImage, CrcAndSectorMaskTreatGapsAsErasedFlash) {
    HexImage img;
    std::vector<std::uint8_t> flat(0x10000, 0xFF);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        const std::uint32_t a = 0x4000 + rng() % 0x8000; // sectors 1, 2 and 3
        const auto v = static_cast<std::uint8_t>(rng());
        if (img.put(a, v) == HexImage::Put::stored) {
            flat[a] = v;
        }
    }
    for (std::uint32_t start : {0x0000U, 0x4000U, 0x4001U, 0x6000U, 0x8000U}) {
        for (std::uint32_t len : {1U, 255U, 0x2000U, 0x7FFFU}) {
            EXPECT_EQ(img.crc32(start, len), crc32(std::span(flat).subspan(start, len)))
                << start << " " << len;
        }
    }
    EXPECT_EQ(img.sector_mask(trx81500_layout()), 0b1110U);
    // A hole reads as erased, whatever the image holds there.
    std::fill_n(flat.begin() + 0x6FFE, 4, 0xFF);
    EXPECT_EQ(img.crc32(0x6000, 0x2000, {0x6FFE, 4}),
              crc32(std::span(flat).subspan(0x6000, 0x2000)));
}

// Files written by another tool (srecord) read back to the same bytes: segment records
// (-address-length=3) and linear records (-address-length=4).
TEST(HexReader, ReadsFilesWrittenBySrecCat) {
    if (std::system("srec_cat --version > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "srec_cat is not installed";
    }
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("trx_hex_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    std::vector<std::uint8_t> data(0x9000);
    std::mt19937 rng(11);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    std::ofstream(dir / "in.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    const std::uint32_t offset = 0x1F800; // crosses a 64 KiB boundary
    for (int length : {3, 4}) {
        SCOPED_TRACE(length);
        const auto out = dir / ("out" + std::to_string(length) + ".h86");
        const std::string cmd = "srec_cat " + (dir / "in.bin").string() + " -binary -offset " +
                                std::to_string(offset) + " -o " + out.string() +
                                " -intel -address-length=" + std::to_string(length);
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const HexResult r = read_intel_hex_file(out.string(), trx81500_layout());
        ASSERT_TRUE(r.ok()) << r.error.message;
        ASSERT_EQ(r.image.size(), data.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            ASSERT_EQ(r.image.at(offset + static_cast<std::uint32_t>(i)), data[i]) << i;
        }
    }
    std::filesystem::remove_all(dir);
}

// A FIFO or a device picked by mistake, and a file too large, are refused before they are
// read: none of them may hang the window or fill the memory.
TEST(HexReader, ReadsOnlyRegularFilesOfAtMost16MiB) {
    const HexResult missing = read_firmware_file("/nonexistent/fw.h86");
    EXPECT_EQ(missing.error.problem, HexProblem::cannot_read);
    EXPECT_NE(missing.error.message.find("/nonexistent/fw.h86"), std::string::npos);

    const auto dir = std::filesystem::temp_directory_path() /
                     ("trx_hexfile_" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    const auto fifo = dir / "fifo.h86";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto big = dir / "big.h86";
    std::ofstream(big) << ":00000001FF\n";
    std::filesystem::resize_file(big, k_max_hex_file + 1); // sparse: no 16 MiB written
    const auto fits = dir / "fits.h86";
    std::ofstream(fits) << testing::intel_record(0, 0, std::vector<std::uint8_t>{1, 2, 3, 4})
                        << "\n:00000001FF\n";
    std::filesystem::resize_file(fits, k_max_hex_file); // padded with NULs after the end record

    for (const auto& [path, problem] :
         {std::pair{fifo.string(), HexProblem::not_a_regular_file},
          std::pair{std::string("/dev/zero"), HexProblem::not_a_regular_file},
          std::pair{dir.string(), HexProblem::not_a_regular_file},
          std::pair{big.string(), HexProblem::too_large}}) {
        SCOPED_TRACE(path);
        const HexResult r = read_firmware_file(path);
        EXPECT_EQ(r.error.problem, problem);
        EXPECT_EQ(r.error.line, 0);
        EXPECT_NE(r.error.message.find(path), std::string::npos) << r.error.message;
    }
    EXPECT_TRUE(read_firmware_file(fits.string()).ok());
    std::filesystem::remove_all(dir);
}

TEST(HexReader, AFirmwareFileMustBringItsResetVector) {
    const std::string vector = record(0, 0x0000, {0xFA, 0x00, 0x00, 0x02});
    EXPECT_TRUE(parse_intel_hex(vector + "\n" + k_end, trx81500_layout(), 0).ok());
    const std::vector<BadCase> cases = {
        {"none", record(0, 0x0100, {1, 2, 3, 4}) + "\n" + k_end, HexProblem::no_reset_vector, 2},
        {"half of it", record(0, 0x0002, {1, 2}) + "\n\n" + k_end, HexProblem::no_reset_vector, 3},
        {"all 0xFF", record(0, 0x0000, {0xFF, 0xFF, 0xFF, 0xFF}) + "\n" + k_end,
         HexProblem::no_reset_vector, 2},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const HexResult r = parse_intel_hex(c.text, trx81500_layout(), 0);
        EXPECT_EQ(r.error.problem, c.problem);
        EXPECT_EQ(r.error.line, c.line);
        EXPECT_NE(r.error.message.find("no reset vector"), std::string::npos);
    }
    // Elsewhere when the target says so.
    EXPECT_TRUE(
        parse_intel_hex(record(0, 0x4010, {1, 2, 3, 4}) + "\n" + k_end, trx81500_layout(), 0x4010)
            .ok());
}

} // namespace
} // namespace trx::flash
