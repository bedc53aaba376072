// The built-in library against the simulated controller over a virtual 57600-baud line, its
// flash filled with random bytes: every fault ends in byte-exact flash and success, or in a
// failure; sectors outside the image never change.
#include "sim_rig.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>

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

// Sector 3 only: the reset vector stays as it was.
Chunks upper_image() {
    return random_chunk(0x8000, 0x1000, 3);
}

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

void expect_sound(const SimRig& rig, const UpdateRun& run, const Chunks& image,
                  std::uint32_t mask) {
    EXPECT_TRUE(rig.changed_outside(mask).empty());
    if (run.ok()) {
        EXPECT_TRUE(std::ranges::equal(rig.memory.content(), rig.expected(image, mask)))
            << "success reported over wrong flash content";
        EXPECT_EQ(rig.memory.reprogrammed_bytes(), 0U);
    } else {
        EXPECT_FALSE(run.error.empty());
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
    // The 0xFF block is not sent; the reset vector's block is programmed last.
    EXPECT_EQ(rig.target.counters().data_executed, k_boot_blocks + 1);
    EXPECT_EQ(rig.library.stats().transfer.payload_bytes,
              static_cast<std::int64_t>((k_boot_blocks + 1) * 256));
    EXPECT_EQ(rig.target.counters().last_data_address, 0U);
    EXPECT_TRUE(rig.target.finished()) << "CloseCom starts the new firmware";
    // Progress ends complete in each phase, in order.
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_EQ(progress.seen.front().phase, FlashProgress::Phase::erase);
    EXPECT_EQ(progress.seen.back().phase, FlashProgress::Phase::verify);
    EXPECT_EQ(progress.seen.back().done, 3);
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
    std::function<void(const SimRig&)> check = {};
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
         [](SimRig& r) { r.target.faults().lose_data_answers = {k_boot_blocks - 1}; }, nullptr,
         [](const SimRig& r) { EXPECT_GE(r.target.counters().repeats_answered, 1U); }},
        {"two answers in a row lost", boot, k_boot_mask,
         [](SimRig& r) {
             r.target.faults().lose_data_answers = {5, 6};
         },
         nullptr, [](const SimRig& r) { EXPECT_GE(r.target.counters().repeats_answered, 1U); }},
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
         [](const SimRig& r) {
             EXPECT_FALSE(r.target.finished()) << "a blank reset vector keeps the loader";
             EXPECT_EQ(r.memory.read(0), 0xFF);
         }},
        {"reset while programming, firmware starts", upper_image(), 0b1000,
         [](SimRig& r) { r.target.faults().reset_at_data = 5; }, "no answer from the target",
         [](const SimRig& r) { EXPECT_TRUE(r.target.finished()); }},
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
        {"erase that never ends", boot, k_boot_mask,
         [](SimRig& r) { r.target.faults().erase_slowdown = 100; },
         "ERASE of sector 0 (0x000000, 16 KiB) did not finish within 30 s"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig(42);
        c.arrange(rig);
        TempHex hex(to_intel_hex(c.image));
        const UpdateRun run = run_update(rig.library, hex.path());
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
        Chunks image = random_chunk(0x6000 + rng() % 0x1000, 1500 + rng() % 3000, seed);
        image.merge(random_chunk(0x10000 + rng() % 0x100, 500 + rng() % 2000, seed + 100));
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

} // namespace
} // namespace trx::flash::testing
