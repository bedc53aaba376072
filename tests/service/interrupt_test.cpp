// Ctrl+C at every moment of a store and an update, in virtual time: nothing is sent after an
// interrupt that came first, and what the scanner may hold is said honestly.
#include "link/frame.hpp"
#include "service/firmware_update.hpp"
#include "service/session.hpp"
#include "testkit/command_frames.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/status_frames.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include "tests/sw_update/fake_flash.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace trx::service {
namespace {

using namespace std::chrono_literals;

// A scanner that answers each command frame with the text scripted for its letter, 5 ms
// later; `stop` is the user's Ctrl+C.
struct Rig {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    testkit::VirtualPump pump{clock};
    bool stop = false;
    std::map<char, std::string> answers;
    testkit::CommandFrames frames{
        clock, port, [this](char letter, const std::string&) {
            if (const auto it = answers.find(letter); it != answers.end()) {
                clock.schedule(5ms, [this, a = it->second] { port.inject(a); });
            }
        }};
    Session session{
        {port, clock, pump, [this] { return clock.now(); }, [this] { return stop; }, nullptr, {}},
        3000ms};

    Rig() {
        port.set_port_name("COM1");
        EXPECT_TRUE(session.open("COM1"));
    }
};

TEST(Interrupt, AStoreInterruptedBeforeItLeftSendsNothing) {
    Rig rig;
    rig.stop = true;
    const auto set = rig.session.store_parameters(link::ParaSet{}, true);
    ASSERT_FALSE(set);
    EXPECT_EQ(set.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(set.error().message, "interrupted before the set was sent; nothing was stored");
    const auto index = rig.session.store_index(7);
    ASSERT_FALSE(index);
    EXPECT_EQ(index.error().message, "interrupted before the index was sent; nothing was stored");
    const auto read = rig.session.read_parameters();
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(rig.frames.heard(), "");
}

// The scanner is silent after the store went out; the user gives up before the time-out.
TEST(Interrupt, AStoreInterruptedAfterItLeftSaysTheScannerMayHoldIt) {
    Rig rig;
    rig.clock.schedule(500ms, [&] { rig.stop = true; });
    const auto set = rig.session.store_parameters(link::ParaSet{}, true);
    ASSERT_FALSE(set);
    EXPECT_EQ(set.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(set.error().message, "interrupted after the set was sent: the scanner may or may "
                                   "not have stored it; run `params get`");
    EXPECT_EQ(rig.frames.heard().substr(0, 2), "\x02W");

    Rig index_rig;
    index_rig.clock.schedule(500ms, [&] { index_rig.stop = true; });
    const auto index = index_rig.session.store_index(7);
    ASSERT_FALSE(index);
    EXPECT_EQ(index.error().message, "interrupted after the index was sent: the scanner may or "
                                     "may not have stored it; run `index get`");
    EXPECT_EQ(index_rig.frames.heard(), link::build_frame('I', "0007"));

    // The time-out says the same of the index as of the set.
    Rig silent;
    const auto timed_out = silent.session.store_index(7);
    ASSERT_FALSE(timed_out);
    EXPECT_EQ(timed_out.error().kind, ErrorKind::not_acknowledged);
    EXPECT_EQ(timed_out.error().message, "the scanner did not acknowledge the index (no \"I\") "
                                         "within 3 s; it may or may not have stored it");
}

struct Steps : UpdateObserver {
    std::vector<std::string> lines;
    void step(UpdateStep /*s*/, const UpdateValues& /*v*/) override {}
    void log_line(const UpdateLogLine& line) override { lines.push_back(line.text); }
};

struct InterruptedUpdate : ::testing::Test {
    Rig rig;
    sw_update::testing::FakeFlash flash;
    Steps steps;
    FirmwareUpdate update{rig.session, flash, steps};
    std::filesystem::path hex = std::filesystem::temp_directory_path() /
                                ("trx_interrupt_" + std::to_string(::getpid()) + ".h86");
    void SetUp() override {
        std::ofstream(hex) << ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";
    }
    void TearDown() override { std::filesystem::remove(hex); }
};

TEST_F(InterruptedUpdate, AnInterruptBeforeTheResetSendsNothingAndNamesNoStep) {
    rig.stop = true;
    const auto r = update.run(hex.string());
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(r.error().message,
              "interrupted before the update began; nothing was sent to the scanner");
    EXPECT_EQ(update.failed_step(), std::nullopt);
    EXPECT_EQ(rig.frames.heard(), "");
    EXPECT_TRUE(flash.calls.empty());
    // The image's own line, written when the file was checked, and nothing after it.
    EXPECT_EQ(steps.lines, std::vector<std::string>{"Image: no identity"});
}

// The rule at every step: the step under way completes, the next is not called, CloseCom
// ends the run. After the last step none is left to skip: the update is complete.
TEST_F(InterruptedUpdate, AnInterruptDuringAnyStepEndsTheRunBeforeTheNextThroughCloseCom) {
    const std::vector<std::string> order{"SetCom",     "InitMonitor", "AdjustCpuFrequency",
                                         "LoadFile",   "AutoROMS1",   "GetHexFileBlock",
                                         "EraseFlash", "ProgramFlash"};
    for (std::size_t at = 0; at < order.size(); ++at) {
        Rig r;
        sw_update::testing::FakeFlash lib;
        Steps seen;
        FirmwareUpdate u{r.session, lib, seen};
        lib.during = [&](const std::string& call) { r.stop = r.stop || call == order[at]; };
        const auto outcome = u.run(hex.string());
        std::vector<std::string> want(order.begin(), order.begin() + static_cast<long>(at) + 1);
        want.emplace_back("CloseCom");
        EXPECT_EQ(lib.calls, want) << "interrupted during " << order[at];
        const bool last = at + 1 == order.size();
        EXPECT_EQ(static_cast<bool>(outcome), last) << order[at];
        if (!last) {
            EXPECT_EQ(outcome.error().kind, ErrorKind::interrupted) << order[at];
            EXPECT_EQ(seen.lines.back(), "Programming aborted") << order[at];
        } else {
            EXPECT_EQ(seen.lines.back(), "Programming finished");
        }
    }
    // During the reset pause: "F" went out, the bootstrap string does not, CloseCom ends it.
    rig.clock.schedule(100ms, [&] { rig.stop = true; });
    const auto paused = update.run(hex.string());
    ASSERT_FALSE(paused);
    EXPECT_EQ(paused.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(rig.frames.heard(), link::build_frame('F', ""));
    EXPECT_EQ(flash.calls, std::vector<std::string>{"CloseCom"});
}

} // namespace
} // namespace trx::service
