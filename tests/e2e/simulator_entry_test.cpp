// The port menu's "Simulator" entry in the real program: the bundled simulator starts, its
// pseudo-terminal opens through the Qt serial port, and its frames reach the receive assembly.
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_dialogs.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/qt_serial_port.hpp"

#include "tests/qt_wait.hpp"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace trx::main {
namespace {

namespace fs = std::filesystem;

using trx::test::ensure_application;
using trx::test::wait_until;

TEST(SimulatorEntry, OpensTheSimulatorsPortAndItsFramesArriveThenCloseStopsIt) {
    ensure_application();
    ::setenv("TRX81500_SIM", TRX_SIM_EXE, 1);
    const fs::path folder =
        fs::temp_directory_path() / ("trx81500-simentry-" + std::to_string(::getpid()));
    fs::create_directories(folder);

    ui::qt::QtSerialPort port;
    ui::qt::QtClock clock;
    testkit::RecordedDialogs dialogs;
    ui::qt::QtEventPump pump;
    platform::StdFiles files(folder, folder / "config", folder / "data");
    platform::SimulatorProcessHost simulator;
    Program program({port, clock, dialogs, pump, files, nullptr, &simulator});
    program.start();

    auto& toolbar = program.main_form().Toolbar1;
    toolbar.user_open_menu("comport");
    toolbar.user_choose("comport", "simulator");
    toolbar.user_click("comport");
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
    fs::remove_all(folder);
}

} // namespace
} // namespace trx::main
