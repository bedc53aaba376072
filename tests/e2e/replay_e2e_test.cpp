// Recorded at the machine, looked at in the office: the whole program on Qt's serial port and
// timers records a session against trx81500-sim over its pseudo-terminal, and a second program
// replays the capture through "Replay..." into the same tables and picture.
#include "capture/reader.hpp"
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_serial_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "tests/monitor/sim_host.hpp"
#include "tests/qt_wait.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace trx::main {
namespace {

namespace fs = std::filesystem;
using trx::test::wait_until;

struct Rig {
    explicit Rig(const fs::path& folder) : files(folder) {}
    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    platform::StdFiles files;
    monitor::test::SimulatorHost simulator;
    std::unique_ptr<Program> program;

    void start() {
        program = std::make_unique<Program>(
            Services{port, clock, dialogs, pump, files, nullptr, &simulator});
        program->start();
    }
    MainForm& form() { return program->main_form(); }
};

struct Screen {
    std::vector<std::string> cells;
    std::vector<double> ray_ends;
    friend bool operator==(const Screen&, const Screen&) = default;
};

Screen screen(MainForm& f) {
    Screen s;
    for (int r = 0; r < 60; ++r) {
        for (int c = 1; c < 6; ++c) {
            s.cells.push_back(f.data.cell(r, c));
        }
        for (int c = 1; c < 4; ++c) {
            s.cells.push_back(f.data2.cell(r, c));
        }
    }
    for (const auto& l : f.map.lines()) {
        s.ray_ends.push_back(l.x2);
        s.ray_ends.push_back(l.y2);
    }
    return s;
}

TEST(ReplayWithSimulator, ARecordedSessionReplaysIntoTheSameTables) {
    trx::test::ensure_application();
    const fs::path folder =
        fs::temp_directory_path() / ("trx_replay_e2e_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "session.trxcap";

    Screen live;
    {
        Rig machine(folder);
        machine.simulator.executable = TRX_SIM_EXE;
        machine.start();
        ASSERT_TRUE(wait_until([&] { return machine.form().StatusBar1.panel(1) == "offline"; }));
        machine.dialogs.answer_save_dialog(file.string());
        machine.program->recording().start();
        ASSERT_TRUE(machine.program->recording().recording());
        machine.form().Toolbar1.user_choose("comport", "simulator");
        machine.form().Toolbar1.user_click("comport");
        ASSERT_TRUE(machine.port.is_open());
        int turns = 0;
        std::string last;
        ASSERT_TRUE(wait_until([&] {
            const std::string now = machine.form().data.cell(1, 1);
            if (!now.empty() && now != last) {
                ++turns;
                last = now;
            }
            return turns >= 5;
        }));
        // Stopped between two events: the screen shows the last whole frame recorded.
        live = screen(machine.form());
        machine.program->recording().stop();
        EXPECT_TRUE(machine.dialogs.take_messages().empty());
        machine.program.reset();
        machine.simulator.stop();
    }
    const capture::Capture c = capture::read_all(capture::Reader::open(file));
    EXPECT_EQ(c.stop_reason, "");
    EXPECT_GT(c.records.size(), 10U);

    Rig office(folder);
    office.start();
    office.dialogs.answer_file_dialog(file.string());
    office.form().Toolbar1.user_choose("comport", "replay");
    EXPECT_EQ(office.form().Toolbar1.item("comport").caption, "Open session.trxcap");
    office.form().Toolbar1.user_click("comport");
    EXPECT_EQ(office.form().Toolbar1.item("comport").caption, "Close session.trxcap");
    // The end of the capture closes the port and says so in panel 1, without a box.
    ASSERT_TRUE(wait_until(
        [&] { return office.form().Toolbar1.item("comport").caption == "Open session.trxcap"; }));
    EXPECT_EQ(screen(office.form()), live);
    EXPECT_FALSE(live.ray_ends.empty());
    EXPECT_TRUE(office.dialogs.take_messages().empty());
    EXPECT_EQ(office.form().StatusBar1.panel(1), "Replay finished");
    EXPECT_TRUE(office.form().stale_note.visible());
    office.program.reset();
    fs::remove_all(folder);
}

} // namespace
} // namespace trx::main
