// The built-in library against the simulated controller over a virtual 57600-baud line, its
// flash filled with random bytes: every fault ends in byte-exact flash and success, or in a
// failure with the reset vector erased, so that the controller stays in its loader; sectors
// outside the image never change.
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <map>
#include <random>
#include <tuple>

namespace trx::flash::testing {
namespace {

// Sector 0 (with the reset vector) and sector 1: 4 + 18 blocks of 256 bytes.
Chunks boot_image() {
    Chunks c = random_chunk(0x0000, 0x400, 1);
    c.merge(random_chunk(0x4000, 0x1200, 2));
    return c;
}
constexpr std::uint32_t k_boot_mask = 0b11;
constexpr std::uint64_t k_boot_blocks = 4 + 18;

// First address in `c` whose byte has `bit` clear.
std::uint32_t zero_bit_at(const Chunks& c, std::uint32_t from, int bit) {
    for (const auto& [start, data] : c) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (start + i >= from && (data[i] >> bit & 1) == 0) {
                return static_cast<std::uint32_t>(start + i);
            }
        }
    }
    return 0;
}

// Success over exact content, or a failure with a reason and, once the flash was touched, a
// blank reset vector: reset and left alone, the controller stays in its loader.
void expect_sound(SimRig& rig, const UpdateRun& run, const Chunks& image, std::uint32_t mask) {
    EXPECT_TRUE(rig.changed_outside(mask).empty());
    if (run.ok()) {
        EXPECT_TRUE(std::ranges::equal(rig.memory.content(), rig.expected(image, mask)))
            << "success reported over wrong flash content";
        EXPECT_EQ(rig.memory.reprogrammed_bytes(), 0U);
        return;
    }
    EXPECT_FALSE(run.error.empty());
    const bool in_loader = rig.stays_in_loader();
    if (!std::ranges::equal(rig.memory.content(), rig.before)) {
        EXPECT_TRUE(rig.reset_vector_blank()) << "a failed update left a reset vector";
        EXPECT_TRUE(in_loader) << "a failed update left a controller that starts";
    }
}

struct Progress {
    std::vector<FlashProgress> seen;
    static void record(void* self, const FlashProgress& p) {
        static_cast<Progress*>(self)->seen.push_back(p);
    }
};

TEST(FlashProtocol, UpdatesOnlyTheImageSectorsAndSkipsErasedBlocks) {
    SimRig rig(1);
    Chunks image = boot_image();
    image.merge(random_chunk(0x20100, 100, 4));
    image[0x20000] = std::vector<std::uint8_t>(256, 0xFF); // a block of data that is all 0xFF
    TempHex hex(to_intel_hex(image));
    Progress progress;
    rig.library.set_progress(&Progress::record, &progress);

    const UpdateRun run = run_update(rig.library, hex.path());

    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    EXPECT_EQ(run.name, "FLASHMON-TRX81500               ");
    EXPECT_EQ(run.hz, 20'000'000.0);
    EXPECT_EQ(run.size, 0x400 + 0x1200 + 100 + 256);
    EXPECT_EQ(run.roms1, 1);
    EXPECT_EQ(run.block, 0b100011);
    expect_sound(rig, run, image, 0b100011);
    // The 0xFF block is not sent; the reset vector's block goes last, in two: the block
    // without the vector, then (after the CRC of every sector) the vector's 4 bytes.
    EXPECT_EQ(rig.target.counters().blocks_programmed, k_boot_blocks + 2);
    EXPECT_EQ(rig.library.stats().transfer.payload_bytes,
              static_cast<std::int64_t>((k_boot_blocks + 1) * 256));
    EXPECT_EQ(rig.target.counters().last_data_address, 0U);
    EXPECT_TRUE(rig.target.finished()) << "CloseCom starts the new firmware";
    // Progress ends complete in each phase, in order.
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_EQ(progress.seen.front().phase, FlashProgress::Phase::erase);
    EXPECT_EQ(progress.seen.back().phase, FlashProgress::Phase::verify);
    EXPECT_EQ(progress.seen.back().done, 4) << "3 sectors, the vector's once more";
    for (std::size_t i = 1; i < progress.seen.size(); ++i) {
        const auto& a = progress.seen[i - 1];
        const auto& b = progress.seen[i];
        EXPECT_TRUE(a.phase < b.phase || (a.phase == b.phase && a.done <= b.done));
    }
}

struct FaultCase {
    const char* name;
    Chunks image;
    std::uint32_t mask;
    std::function<void(SimRig&)> arrange;
    const char* failure; // nullptr: the run must succeed
    std::function<void(SimRig&)> check = {};
};

TEST(FlashProtocol, EachInjectedFaultEndsInExactFlashOrAFailure) {
    const Chunks boot = boot_image();
    const std::uint32_t zero_bit = zero_bit_at(boot, 0x4010, 3);
    const std::vector<FaultCase> cases = {
        {"damaged DATA frame", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().corrupt_received = {2500}; }, nullptr},
        {"burst of noise over two frames", boot, k_boot_mask,
         [](SimRig& r) {
             for (std::uint64_t i = 3000; i < 3300; i += 7) {
                 r.target.faults().corrupt_received.push_back(i);
             }
         },
         nullptr},
        {"damaged answers", boot, k_boot_mask,
         [](SimRig& r) {
             r.target.faults().corrupt_sent = {150, 400, 401, 700};
         },
         nullptr},
        {"answer to the last block lost", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().lose_data_answers = {k_boot_blocks}; }, nullptr,
         [](SimRig& r) { EXPECT_GE(r.target.counters().repeats_answered, 1U); }},
        {"two answers in a row lost", boot, k_boot_mask,
         [](SimRig& r) {
             r.target.faults().lose_data_answers = {5, 6};
         },
         nullptr, [](SimRig& r) { EXPECT_GE(r.target.counters().repeats_answered, 1U); }},
        {"three NAKs", boot, k_boot_mask,
         [](SimRig& r) {
             r.target.faults().nak_run_from = 3;
             r.target.faults().nak_run_length = 3;
         },
         nullptr},
        {"four NAKs", boot, k_boot_mask,
         [](SimRig& r) {
             r.target.faults().nak_run_from = 3;
             r.target.faults().nak_run_length = 4;
         },
         "reports damaged frames for DATA at 0x004"},
        {"reset while programming, reset vector blank", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().reset_at_data = 10; }, "no session",
         [](SimRig& r) {
             EXPECT_TRUE(r.stays_in_loader()) << "a blank reset vector keeps the loader";
             EXPECT_EQ(r.memory.read(0), 0xFF);
         }},
        {"reset while programming the reset vector's block", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().reset_at_data = k_boot_blocks - 1; }, "no session",
         [](SimRig& r) {
             EXPECT_NE(r.memory.read(4), 0xFF) << "the block without the vector was begun";
             EXPECT_TRUE(r.reset_vector_blank());
         }},
        {"bit stuck at 1", boot, k_boot_mask,
         [zero_bit](SimRig& r) { r.memory.stick_bit(zero_bit, 3, true); }, "verify failed at 0x"},
        {"bit stuck at 0", boot, k_boot_mask,
         [](SimRig& r) { r.memory.stick_bit(0x5FFF, 0, false); },
         "blank check failed in sector 1 (0x004000, 8 KiB) at 0x005FFF"},
        {"lying target with a bit stuck at 1", boot, k_boot_mask,
         [zero_bit](SimRig& r) {
             r.target.faults().skip_verify = true;
             r.memory.stick_bit(zero_bit, 3, true);
         },
         "CRC of sector 1 (0x004000, 8 KiB) differs"},
        {"slow erase", boot, k_boot_mask, [](SimRig& r) { r.target.faults().erase_slowdown = 8; },
         nullptr},
        {"HELLO answered BUSY three times", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().busy_hellos = 3; }, nullptr},
        {"erase that never ends", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().erase_slowdown = 100; },
         "ERASE of sector 0 (0x000000, 16 KiB) did not finish within 30 s"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig(42);
        c.arrange(rig);
        TempHex hex(to_intel_hex(c.image));
        const UpdateRun run = rig.update(hex.path());
        if (c.failure == nullptr) {
            EXPECT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
        } else {
            EXPECT_FALSE(run.ok());
            EXPECT_NE(run.error.find(c.failure), std::string::npos) << run.error;
        }
        expect_sound(rig, run, c.image, c.mask);
        if (c.check) {
            c.check(rig);
        }
    }
}

// Many random mixtures of line faults: whatever happens, never success over wrong content.
TEST(FlashProtocol, RandomFaultMixturesNeverReportSuccessOverWrongContent) {
    int successes = 0;
    int failures = 0;
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        SimRig rig(seed);
        // Every other image compresses: the faults then hit compressed runs too.
        const auto chunk = seed % 2 == 0 ? code_chunk : random_chunk;
        Chunks image = chunk(0x6000 + rng() % 0x1000, 1500 + rng() % 3000, seed);
        image.merge(chunk(0x10000 + rng() % 0x100, 500 + rng() % 2000, seed + 100));
        image.merge(chunk(0x0000, 16 + rng() % 600, seed + 200)); // with the reset vector
        auto& f = rig.target.faults();
        for (unsigned i = rng() % 6; i > 0; --i) {
            f.corrupt_received.push_back(rng() % 12000);
        }
        for (unsigned i = rng() % 4; i > 0; --i) {
            f.corrupt_sent.push_back(rng() % 1500);
        }
        for (unsigned i = rng() % 3; i > 0; --i) {
            f.lose_data_answers.push_back(rng() % 30);
        }
        if (rng() % 3 == 0) {
            f.nak_run_from = rng() % 20;
            f.nak_run_length = 1 + rng() % 4;
        }
        TempHex hex(to_intel_hex(image));
        const UpdateRun run = run_update(rig.library, hex.path());
        (run.ok() ? successes : failures)++;
        std::uint32_t mask = 0;
        for (const auto& [start, data] : image) {
            mask |= 1U << *rig.memory.layout().sector_of(start);
            mask |= 1U << *rig.memory.layout().sector_of(
                        static_cast<std::uint32_t>(start + data.size() - 1));
        }
        expect_sound(rig, run, image, mask);
    }
    EXPECT_GE(successes, 15) << "the line recovers from most mixtures";
    EXPECT_GE(failures + successes, 30);
}

TEST(FlashProtocol, ARunAfterAFailedOneReachesTheLoaderAgainAndSucceeds) {
    SimRig rig(5);
    const Chunks image = boot_image();
    TempHex hex(to_intel_hex(image));
    rig.target.faults().nak_run_from = 0;
    rig.target.faults().nak_run_length = 4;
    const UpdateRun failed = run_update(rig.library, hex.path());
    ASSERT_EQ(failed.failed_step, "ProgramFlash");
    EXPECT_FALSE(rig.target.finished()) << "no GO after a failed programming";

    rig.target.faults() = {};
    const UpdateRun second = run_update(rig.library, hex.path());
    EXPECT_TRUE(second.ok()) << second.failed_step << ": " << second.error;
    expect_sound(rig, second, image, k_boot_mask);
}

TEST(FlashProtocol, CallsOutOfOrderOrWithBadValuesFailWithAReason) {
    SimRig rig(6);
    const Chunks image = boot_image();
    TempHex hex(to_intel_hex(image));
    BuiltinFlash& lib = rig.library;
    char name[33] = "                                ";
    std::int32_t size = 0;
    EXPECT_EQ(lib.InitMonitor(name), 0);
    EXPECT_NE(lib.last_error().find("SetCom first"), std::string::npos);
    EXPECT_EQ(lib.ProgramFlash(), 0);

    ASSERT_EQ(lib.SetCom("COM2", 57600), 1);
    ASSERT_EQ(lib.InitMonitor(name), 1);
    EXPECT_EQ(lib.EraseFlash(0), 0);
    EXPECT_NE(lib.last_error().find("nothing to erase"), std::string::npos);
    EXPECT_EQ(lib.EraseFlash(0x80), 0);
    EXPECT_NE(lib.last_error().find("does not have"), std::string::npos);
    ASSERT_EQ(lib.LoadFile(hex.path().c_str(), &size), 1);
    ASSERT_EQ(lib.EraseFlash(0b01), 1); // sector 1 holds image data but stays unerased
    EXPECT_EQ(lib.ProgramFlash(), 0);
    EXPECT_EQ(lib.last_error(),
              "sector 1 (0x004000, 8 KiB) holds data of the hex file but was not erased");
    EXPECT_EQ(rig.target.counters().data_executed, 0U);
    EXPECT_EQ(lib.CloseCom(), 1);
    EXPECT_FALSE(rig.target.finished()) << "erased but not programmed: the loader stays";
    EXPECT_TRUE(rig.changed_outside(0b01).empty());
}

TEST(FlashProtocol, AFileThatDoesNotReadStopsBeforeTheFlashIsTouched) {
    SimRig rig(7);
    TempHex hex(":0400000001020304F3\r\n:00000001FF\r\n");
    const UpdateRun run = run_update(rig.library, hex.path());
    EXPECT_EQ(run.failed_step, "LoadFile");
    EXPECT_EQ(run.error, "line 1: bad checksum");
    EXPECT_TRUE(rig.changed_outside(0).empty());
    EXPECT_TRUE(rig.target.finished()) << "nothing erased: CloseCom restarts the firmware";
}

// A stuck bit shows in the target's read-back, behind a lying target only in the CRC. In
// whichever sector it sits, the run fails before the reset vector is written, or erases it
// again when it was the vector that failed.
TEST(FlashProtocol, AStuckBitInAnySectorEndsWithTheControllerInItsLoader) {
    const FlashLayout layout = trx81500_layout();
    Chunks image = random_chunk(0x0000, 0x200, 50);
    std::vector<std::uint32_t> places = {0x0000, 0x0010}; // the vector, the rest of its block
    for (std::size_t i = 1; i < layout.sectors.size(); ++i) {
        image.merge(random_chunk(layout.sectors[i].start + 0x300, 0x200, 50 + i));
        places.push_back(layout.sectors[i].start + 0x310);
    }
    TempHex hex(to_intel_hex(image));
    for (const bool lying : {false, true}) {
        for (const std::uint32_t at : places) {
            SCOPED_TRACE((lying ? "lying target, bit at " : "bit at ") + std::to_string(at));
            SimRig rig(60);
            rig.target.faults().skip_verify = lying;
            const auto& [start, data] = *std::prev(image.upper_bound(at));
            // A bit the image clears there (random chunks hold no 0xFF).
            rig.memory.stick_bit(at, std::countr_one(data.at(at - start)), true);
            const UpdateRun run = rig.update(hex.path());
            ASSERT_EQ(run.failed_step, "ProgramFlash");
            EXPECT_NE(run.error.find(lying ? "differs" : "verify failed"), std::string::npos)
                << run.error;
            if (at < proto::k_reset_vector_size) {
                EXPECT_NE(run.error.find("the reset vector was erased again"), std::string::npos)
                    << run.error;
            }
            expect_sound(rig, run, image, 0x7F);
            EXPECT_TRUE(rig.reset_vector_blank());
            EXPECT_TRUE(rig.stays_in_loader());
        }
    }
}

// BUSY extends the wait for one answer, never a command's whole bound: a target that answers
// BUSY for ever ends the run with a reason, in virtual time, within that bound.
TEST(FlashProtocol, ATargetThatAnswersBusyForEverEndsTheRunWithinTheBound) {
    using std::chrono::seconds;
    struct Case {
        std::optional<proto::Type> busy;
        Chunks image;
        const char* step;
        const char* reason;
        seconds bound;
        bool in_verify = false; // bound the CRC requests, not the blocks before them
        bool pieces = false;    // a target that inflates each piece on its own
    };
    Chunks code = code_chunk(0x0000, 0x1000, 70);
    const std::vector<Case> cases = {
        {std::nullopt, boot_image(), "InitMonitor", "answers HELLO only with BUSY", seconds(2)},
        {proto::Type::clock, boot_image(), "AdjustCpuFrequency", "CLOCK did not finish within 2 s",
         seconds(2)},
        {proto::Type::erase, boot_image(), "EraseFlash",
         "ERASE of sector 0 (0x000000, 16 KiB) did not finish within 30 s", seconds(30)},
        {proto::Type::data, boot_image(), "ProgramFlash",
         "DATA at 0x000100 did not finish within 10 s", seconds(10)},
        {proto::Type::zdata, code, "ProgramFlash", "ZDATA at 0x000100 did not finish within 10 s",
         seconds(10), false, true},
        {proto::Type::zrun, code, "ProgramFlash", "ZRUN at 0x000100 did not finish within 10 s",
         seconds(10)},
        // The first CRC is the one that looks for sectors holding the image already.
        {proto::Type::crc, boot_image(), "EraseFlash",
         "CRC of sector 0 (0x000000, 16 KiB) did not finish within 10 s", seconds(10), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        sim::TargetConfig config;
        config.stream_runs = !c.pieces;
        SimRig rig(71, config);
        rig.target.faults().busy_forever = c.busy;
        rig.target.faults().busy_hellos = c.busy ? 0 : 1'000'000;
        TempHex hex(to_intel_hex(c.image));
        const UpdateRun run = rig.update(hex.path());
        ASSERT_EQ(run.failed_step, c.step) << run.error;
        EXPECT_NE(run.error.find(c.reason), std::string::npos) << run.error;
        const auto waited = c.in_verify ? rig.library.stats().verify_time : run.took.at(c.step);
        EXPECT_LE(waited, c.bound + seconds(1));
        expect_sound(rig, run, c.image, 0b11);
    }
}

TEST(FlashProtocol, CodeTravelsCompressedWhereTheTargetInflatesAndRawToAnOlderMonitor) {
    Chunks image = code_chunk(0x0000, 0x3000, 80);
    image.merge(code_chunk(0x10000, 0x2400, 81));
    image.merge(random_chunk(0x12400, 0x300, 82));
    TempHex hex(to_intel_hex(image));
    std::map<std::string, std::uint64_t> sent;
    for (const auto& [name, legacy, buffer, streams] :
         {std::tuple{"older monitor", true, proto::k_max_inflate, true},
          std::tuple{"1 KiB to inflate", false, std::size_t{1024}, true},
          std::tuple{"8 KiB in pieces", false, proto::k_max_inflate, false},
          std::tuple{"8 KiB to inflate", false, proto::k_max_inflate, true}}) {
        SCOPED_TRACE(name);
        sim::TargetConfig config;
        config.legacy_hello = legacy;
        config.inflate_buffer = buffer;
        config.stream_runs = streams;
        SimRig rig(83, config);
        const UpdateRun run = rig.update(hex.path());
        ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
        expect_sound(rig, run, image, 0b10001);
        EXPECT_TRUE(rig.target.finished());
        const auto& counters = rig.target.counters();
        EXPECT_EQ(counters.zdata_executed > 0, !legacy && !streams);
        EXPECT_EQ(counters.zrun_executed > 0, !legacy && streams);
        EXPECT_EQ(rig.library.stats().transfer.payload_bytes, 0x3000 + 0x2400 + 0x300);
        sent[name] = rig.line->bytes_to_target();
    }
    EXPECT_LT(sent["8 KiB to inflate"] * 10, sent["older monitor"] * 7);
    EXPECT_LE(sent["8 KiB to inflate"], sent["1 KiB to inflate"]);
    // One stream per run saves the code tables and the fresh start of every piece.
    EXPECT_LT(sent["8 KiB to inflate"], sent["8 KiB in pieces"]);
}

// The reset vector is where the target says, or, from an older monitor, the first address of
// its flash; never a constant 0.
TEST(FlashProtocol, TheResetVectorIsTheOneOfTheTargetsLayout) {
    sim::TargetConfig named;
    named.reset_vector = 0x4010; // in sector 1
    SimRig rig(90, named);
    const Chunks image = boot_image();
    TempHex hex(to_intel_hex(image));
    const UpdateRun run = rig.update(hex.path());
    ASSERT_TRUE(run.ok()) << run.failed_step << ": " << run.error;
    expect_sound(rig, run, image, k_boot_mask);
    EXPECT_EQ(rig.target.counters().last_data_address, 0x4010U);
    EXPECT_TRUE(rig.target.finished());

    sim::TargetConfig older;
    older.legacy_hello = true;
    SimRig high(91, older, {}, FlashLayout{{{0x80000, 0x4000}, {0x84000, 0x4000}}});
    Chunks upper = random_chunk(0x80000, 0x300, 92);
    upper.merge(random_chunk(0x84000, 0x300, 93));
    TempHex upper_hex(to_intel_hex(upper));
    const UpdateRun high_run = high.update(upper_hex.path());
    ASSERT_TRUE(high_run.ok()) << high_run.failed_step << ": " << high_run.error;
    expect_sound(high, high_run, upper, 0b11);
    EXPECT_EQ(high.target.counters().last_data_address, 0x80000U);

    // A file without the vector the target names is refused before the flash is touched.
    SimRig refusing(94, named);
    TempHex no_vector(to_intel_hex(random_chunk(0x0000, 0x400, 95)));
    const UpdateRun refused = refusing.update(no_vector.path());
    EXPECT_EQ(refused.failed_step, "LoadFile");
    EXPECT_NE(refused.error.find("no reset vector"), std::string::npos) << refused.error;
    EXPECT_TRUE(std::ranges::equal(refusing.memory.content(), refusing.before));
}

} // namespace
} // namespace trx::flash::testing
