// The port menu's "Simulator" entry in the real program: the bundled simulator starts, its
// pseudo-terminal opens through the Qt serial port, and its frames reach the receive assembly.
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_serial_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"

#include "tests/qt_wait.hpp"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace trx::main {
namespace {

namespace fs = std::filesystem;

using trx::test::ensure_application;
using trx::test::wait_until;

// The real program on Qt's port, clock and pump, with the bundled simulator behind the
// "Simulator" entry, which is chosen and opened.
struct SimulatorEntry : ::testing::Test {
    SimulatorEntry() {
        ensure_application();
        ::setenv("TRX81500_SIM", TRX_SIM_EXE, 1);
        fs::create_directories(folder);
    }
    ~SimulatorEntry() override { fs::remove_all(folder); }
    SimulatorEntry(const SimulatorEntry&) = delete;
    SimulatorEntry& operator=(const SimulatorEntry&) = delete;
    SimulatorEntry(SimulatorEntry&&) = delete;
    SimulatorEntry& operator=(SimulatorEntry&&) = delete;

    void open_simulator() {
        program.start();
        toolbar.user_open_menu("comport");
        toolbar.user_choose("comport", "simulator");
        toolbar.user_click("comport");
    }

    const fs::path folder = fs::temp_directory_path() /
                            ("trx81500-simentry-" + std::to_string(::getpid()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    platform::StdFiles files{folder, folder / "config", folder / "data"};
    platform::SimulatorProcessHost simulator;
    Program program{{port, clock, dialogs, pump, files, nullptr, &simulator}};
    ui::Toolbar& toolbar = program.main_form().Toolbar1;
};

TEST_F(SimulatorEntry, OpensTheSimulatorsPortAndItsFramesArriveThenCloseStopsIt) {
    open_simulator();
    EXPECT_TRUE(dialogs.take_messages().empty());
    ASSERT_TRUE(port.is_open());
    EXPECT_EQ(toolbar.item("comport").caption, "Close Simulator");
    EXPECT_TRUE(program.shared().port_name.starts_with("/dev/pts/")) << program.shared().port_name;

    // Every good frame marks the link online.
    auto& marker = program.main_form().Timer1;
    EXPECT_TRUE(wait_until([&] { return marker.tag() == "online"; }));

    toolbar.user_click("comport");
    EXPECT_FALSE(port.is_open());
    EXPECT_FALSE(simulator.running());
    EXPECT_EQ(toolbar.item("comport").caption, "Open Simulator");
}

// A simulator that dies under the open port is a lost device: the box says so, the toolbar
// shows the port closed, and the process is reaped at once (no zombie left).
TEST_F(SimulatorEntry, ASimulatorThatDiesShowsAsALostDeviceAndIsReaped) {
    open_simulator();
    ASSERT_TRUE(port.is_open());
    const pid_t pid = simulator.pid();
    ASSERT_GT(pid, 0);

    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(wait_until([&] { return !port.is_open(); }));
    wait_until([] { return false; }, std::chrono::milliseconds(200)); // no second report
    const auto boxes = dialogs.take_messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "COM-Port not available");
    EXPECT_EQ(boxes[0].detail, "The device was disconnected.");
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(toolbar.item("comport").caption, "Open Simulator");
    EXPECT_FALSE(simulator.running());
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1); // reaped: no longer our child
}

} // namespace
} // namespace trx::main
