// The scanner session in virtual time: every step against a scripted scanner on the test
// kit's port, so that time-outs, a pulled device and interrupts are exact.
#include "link/frame.hpp"
#include "service/firmware_update.hpp"
#include "service/session.hpp"
#include "testkit/command_frames.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_log.hpp"
#include "testkit/status_frames.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include "tests/sw_update/fake_flash.hpp"

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace trx::service {
namespace {

using namespace std::chrono_literals;

// A scanner that answers each complete command frame with the text scripted for its letter,
// 5 ms later; bytes in `background` go out every 100 ms.
struct Rig {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    testkit::VirtualPump pump{clock};
    bool stop = false;
    std::map<char, std::string> answers;
    std::string background;
    testkit::CommandFrames frames{
        clock, port, [this](char letter, const std::string&) {
            if (const auto it = answers.find(letter); it != answers.end()) {
                clock.schedule(5ms, [this, a = it->second] { port.inject(a); });
            }
        }};
    testkit::RecordedLog log;
    Session session{
        {port, clock, pump, [this] { return clock.now(); }, [this] { return stop; }, nullptr, &log},
        3000ms};

    Rig() {
        port.set_port_name("COM1");
        EXPECT_TRUE(session.open("COM1"));
        testkit::every(clock, 100ms, [this] { port.inject(background); });
    }
    [[nodiscard]] const std::string& heard() const { return frames.heard(); }
    [[nodiscard]] std::chrono::milliseconds now() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now());
    }
};

TEST(Session, EveryWaitEndsAtItsTimeOutOrEarlierWithWhatEndedIt) {
    Rig silent;
    const auto online = silent.session.wait_online();
    ASSERT_FALSE(online);
    EXPECT_EQ(online.error().kind, ErrorKind::no_answer);
    EXPECT_EQ(online.error().message, "no answer from the scanner on COM1 within 3 s");
    EXPECT_NEAR(static_cast<double>(silent.now().count()), 3000, 2);

    Rig garbled; // frames arrive, but none with a good checksum
    garbled.background = "\x02P51\x03";
    const auto r = garbled.session.wait_online();
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("(frames with a bad checksum: "), std::string::npos)
        << r.error().message;

    Rig pulled;
    pulled.clock.schedule(100ms, [&] { pulled.port.pull_device(); });
    const auto index = pulled.session.read_index();
    ASSERT_FALSE(index);
    EXPECT_EQ(index.error().kind, ErrorKind::port);
    EXPECT_LT(pulled.now(), 110ms);
    // The log has the port's life: opened, then lost with the reason the step gave.
    const auto& lines = pulled.log.lines();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].category, "trx.session");
    EXPECT_EQ(lines[0].text, "port COM1 open");
    EXPECT_EQ(lines[1].level, LogLevel::warning);
    EXPECT_EQ(lines[1].text.rfind("port COM1 lost: ", 0), 0U) << lines[1].text;
    EXPECT_NE(index.error().message.find(lines[1].text.substr(16)), std::string::npos)
        << index.error().message;

    Rig stopped;
    stopped.clock.schedule(200ms, [&] { stopped.stop = true; });
    const auto set = stopped.session.read_parameters();
    ASSERT_FALSE(set);
    EXPECT_EQ(set.error().kind, ErrorKind::interrupted);
    EXPECT_LT(stopped.now(), 210ms);
}

TEST(Session, ReadsTheSetAndIndexAndStoresThemWithTheirAcknowledgements) {
    Rig rig;
    rig.answers['R'] = testkit::parameter_reply(true);
    rig.answers['L'] = link::build_frame('L', "012C");
    rig.answers['I'] = link::build_frame('I', "");
    const auto reply = rig.session.read_parameters();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, link::ScannerType::ya);
    EXPECT_EQ(reply->set.can_identifier, 0x7FFU);
    const auto index = rig.session.read_index();
    ASSERT_TRUE(index);
    EXPECT_EQ(*index, 300);
    EXPECT_TRUE(rig.session.store_index(0));
    EXPECT_NE(rig.heard().find("\x02I000009\x03"), std::string::npos);

    // No "P": the store is not confirmed, and the error says the scanner may have it all
    // the same. The frame that went out is the set, extended, as the window sends it.
    link::ParaSet changed = reply->set;
    changed.speed = 180;
    rig.frames.clear();
    const auto stored = rig.session.store_parameters(changed, true);
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.error().kind, ErrorKind::not_acknowledged);
    EXPECT_EQ(stored.error().message, "the scanner did not acknowledge the parameter set (no "
                                      "\"P\") within 3 s; it may or may not have stored it");
    std::string payload;
    for (const auto& f : link::para_fields(changed, true)) {
        payload += f;
    }
    EXPECT_EQ(rig.heard(), link::build_frame('W', payload));
    EXPECT_EQ(payload.substr(12, 4), "00B4");
}

TEST(Session, StreamsTurnsWithStripeOneCompletedAndEndsWhenTheScansStop) {
    Rig rig;
    testkit::StatusShape ya{.temperature = 21, .status_word = 5, .ya = true, .stripes = {}};
    ya.stripes = {{100, 20, 11}, {130, 10, 0}, {8000, 30, 0}};
    rig.background = testkit::status_frame(ya);
    ScanContext context;
    context.type = link::ScannerType::ya;
    context.max_modul = 300;
    std::vector<Turn> turns;
    const auto streamed = rig.session.stream(context, [&](const Turn& t) {
        turns.push_back(t);
        return turns.size() < 2;
    });
    ASSERT_TRUE(streamed);
    ASSERT_EQ(turns.size(), 2U);
    const Turn& t = turns[1];
    EXPECT_EQ(t.t_ms, 200);
    EXPECT_EQ(t.resolution, 8192);
    EXPECT_EQ(t.temperature, 21);
    EXPECT_TRUE(t.speed_ok());
    EXPECT_TRUE(t.heater_active());
    ASSERT_EQ(t.stripes.size(), 3U);
    // Stripe 1 wraps against the last: gap 8192 - 8030 + 100, tag from 8000 to 120.
    EXPECT_EQ(t.stripes[0].gap, 262);
    EXPECT_EQ(t.stripes[0].tag_width, 312);
    EXPECT_EQ(t.stripes[0].tag_angle, 8156);
    EXPECT_EQ(t.stripes[1].gap, 10);
    EXPECT_EQ(t.stripes[1].tag_width, std::nullopt);

    rig.background.clear();
    const auto stalled = rig.session.stream(context, [](const Turn&) { return true; });
    ASSERT_FALSE(stalled);
    EXPECT_EQ(stalled.error().kind, ErrorKind::no_answer);
}

// The update log's steps as the observer saw them, and when the library was first called.
struct Steps : UpdateObserver {
    std::vector<UpdateStep> seen;
    std::vector<std::string> lines; // red lines marked with a leading "!"
    void step(UpdateStep s, const UpdateValues& /*v*/) override { seen.push_back(s); }
    void log_line(const UpdateLogLine& line) override {
        lines.push_back((line.red ? "!" : "") + line.text);
    }
};

struct Update : ::testing::Test {
    Rig rig;
    sw_update::testing::FakeFlash flash;
    Steps steps;
    FirmwareUpdate update{rig.session, flash, steps};
    std::filesystem::path hex = std::filesystem::temp_directory_path() /
                                ("trx_service_" + std::to_string(::getpid()) + ".h86");
    void SetUp() override {
        std::ofstream(hex) << ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";
    }
    void TearDown() override { std::filesystem::remove(hex); }
};

TEST_F(Update, ResetsHandsThePortToTheLibraryAndRunsItsStepsInOrder) {
    std::chrono::milliseconds first_call{0};
    flash.during = [&](const std::string& call) {
        if (call == "SetCom") {
            first_call = rig.now();
            EXPECT_FALSE(rig.port.is_open()) << "the library must get the port to itself";
        }
    };
    ASSERT_TRUE(update.run(hex.string()));
    EXPECT_EQ(rig.heard(), std::string("\x02"
                                       "F46\x03") +
                               std::string(k_bootstrap_string));
    EXPECT_GE(first_call, 1000ms);
    EXPECT_EQ(flash.calls, (std::vector<std::string>{"SetCom", "InitMonitor", "AdjustCpuFrequency",
                                                     "LoadFile", "AutoROMS1", "GetHexFileBlock",
                                                     "EraseFlash", "ProgramFlash", "CloseCom"}));
    EXPECT_EQ(flash.com_port, "COM1");
    EXPECT_EQ(flash.com_baud, 57600);
    EXPECT_EQ(flash.erased_block, 37);
    EXPECT_EQ(steps.seen.size(), 10U);
    EXPECT_EQ(update.values().target_name, "TRXSIM81500-A");
    // The window's lines, after the one that names the image.
    ASSERT_EQ(steps.lines.size(), 12U);
    EXPECT_EQ(steps.lines.front(), "Image: no identity");
    EXPECT_EQ(steps.lines[1], "Reseting Controller");
    EXPECT_EQ(steps.lines[3], "OpenCom: COM1, 57600 Baud     Ok");
    EXPECT_EQ(steps.lines[5], "Target: TRXSIM81  @   20000000 Hz");
    EXPECT_EQ(steps.lines.back(), "Programming finished");
}

// A device server drops what it has not yet written to the device when its client goes: a
// network port carries the bootstrap string through the loader's pause before the library
// gets it to itself; a local port is given up at once, as always.
TEST_F(Update, ANetworkPortIsHeldThroughTheLoadersPauseALocalOneIsNot) {
    for (const std::string name : {"socket://127.0.0.1:4001", "COM1"}) {
        rig.session.close();
        rig.port.set_port_name(name);
        ASSERT_TRUE(rig.session.open(name));
        std::optional<bool> open_in_pause;
        rig.clock.schedule(800ms, [&] { open_in_pause = rig.port.is_open(); });
        flash.during = [&](const std::string& call) {
            if (call == "SetCom") {
                EXPECT_FALSE(rig.port.is_open()) << name;
            }
        };
        ASSERT_TRUE(update.run(hex.string())) << name;
        ASSERT_TRUE(open_in_pause.has_value());
        EXPECT_EQ(*open_in_pause, name != "COM1") << name;
    }
}

TEST_F(Update, AFailedOrInterruptedStepEndsTheRunThroughCloseCom) {
    flash.results["EraseFlash"] = {0};
    flash.error_text = "blank check failed in sector 2 at 0x006010";
    const auto failed = update.run(hex.string());
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind, ErrorKind::flash);
    EXPECT_EQ(failed.error().message, flash.error_text);
    EXPECT_EQ(update.failed_step(), UpdateStep::erase_flash);
    EXPECT_EQ(flash.calls.back(), "CloseCom");
    EXPECT_EQ(std::count(flash.calls.begin(), flash.calls.end(), "ProgramFlash"), 0);
    // The red line from the first failure on, and the log's closing line.
    ASSERT_GE(steps.lines.size(), 2U);
    EXPECT_EQ(steps.lines[steps.lines.size() - 2], "!EraseFlash:     Error");
    EXPECT_EQ(steps.lines.back(), "!Programming aborted");
    EXPECT_EQ(update.failure_line(), "EraseFlash:     Error");

    flash.calls.clear();
    ASSERT_TRUE(rig.session.open("COM1"));
    flash.during = [&](const std::string& call) {
        rig.stop = rig.stop || call == "AdjustCpuFrequency";
    };
    const auto interrupted = update.run(hex.string());
    ASSERT_FALSE(interrupted);
    EXPECT_EQ(interrupted.error().kind, ErrorKind::interrupted);
    EXPECT_EQ(update.failed_step(), UpdateStep::load_file);
    // An interrupt is no failing step: no red step line, only the closing line.
    EXPECT_EQ(steps.lines.back(), "!Programming aborted");
    EXPECT_EQ(steps.lines[steps.lines.size() - 2], "Target: TRXSIM81  @   20000000 Hz");
    EXPECT_EQ(flash.calls, (std::vector<std::string>{"SetCom", "InitMonitor", "AdjustCpuFrequency",
                                                     "CloseCom"}));
}

// Why the port will not open, as the system's diagnosis tells it, on one line.
TEST(Session, APortThatWillNotOpenIsExplainedOnOneLine) {
    struct Explained final : ui::PortDiagnosis {
        [[nodiscard]] std::string explain(const std::string& port,
                                          const std::string& reason) const override {
            return port + " is in use by minicom.\n" + reason + ":\n    sudo fuser " + port;
        }
    } diagnosis;
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    testkit::VirtualPump pump{clock};
    Session session({port, clock, pump, [&] { return clock.now(); }, {}, &diagnosis}, 3000ms);
    port.set_missing("/dev/ttyUSB0", "busy");
    const auto opened = session.open("/dev/ttyUSB0");
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ErrorKind::port);
    EXPECT_EQ(opened.error().message, "cannot open /dev/ttyUSB0: /dev/ttyUSB0 is in use by "
                                      "minicom. busy: sudo fuser /dev/ttyUSB0");
}

TEST_F(Update, ABadHexFileIsRefusedBeforeAnythingIsSent) {
    std::ofstream(hex) << ":10000000000102030405060708090A0B0C0D0E0F77\n:00000001FF\n";
    const auto refused = update.run(hex.string());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ErrorKind::bad_input);
    EXPECT_EQ(refused.error().message, hex.string() + ": line 1: bad checksum");
    EXPECT_TRUE(rig.heard().empty());
    EXPECT_TRUE(flash.calls.empty());
    EXPECT_TRUE(rig.port.is_open());
}

} // namespace
} // namespace trx::service
