// Choosing, opening and closing the serial port from the toolbar, the devices beyond COM10,
// the simulator entry, and a device that disappears while open.
#include "main/port_at_start.hpp"
#include "platform/system_port_diagnosis.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"
#include "tests/platform/fake_system.hpp"

#include <gtest/gtest.h>

namespace trx::testkit {
namespace {

using namespace std::chrono_literals;

constexpr const char* k_port = "main.Toolbar1.comport";

std::string entry(const std::string& key) {
    return std::string(k_port) + "." + key;
}

// Every port entry of the port menu is enabled (or disabled) as the port state says; the
// check item "Reconnect automatically" is a setting and always at hand.
void expect_entries_enabled(Driver& d, bool enabled) {
    for (const auto& e : d.program().main_form().Toolbar1.item("comport").entries) {
        EXPECT_EQ(e.enabled, e.key == "reconnect" || enabled) << e.key;
    }
}

std::vector<std::string> entry_keys(Driver& d) {
    std::vector<std::string> keys;
    for (const auto& e : d.program().main_form().Toolbar1.item("comport").entries) {
        keys.push_back(e.key);
    }
    return keys;
}

TEST(PortButton, Com10CaptionsPortNameAndTheStatesOfMenuAndSoftware) {
    Driver d;
    d.start();
    EXPECT_EQ(d.text(k_port), "Open COM1    ");
    expect_entries_enabled(d, true);
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));

    d.choose(entry("com10"));
    EXPECT_EQ(d.text(k_port), "Open COM10   ");
    EXPECT_FALSE(d.port_open());
    d.choose(entry("com9"));
    EXPECT_EQ(d.text(k_port), "Open COM9    ");
    d.choose(entry("com10"));

    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close COM10   ");
    EXPECT_EQ(d.port_name(), "COM10");
    expect_entries_enabled(d, false);
    EXPECT_TRUE(d.enabled("main.Toolbar1.software"));
    d.choose(entry("com2")); // disabled while open: nothing changes
    EXPECT_EQ(d.text(k_port), "Close COM10   ");

    d.click(k_port);
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM10   ");
    EXPECT_EQ(d.port_name(), "COM10"); // kept after the close
    expect_entries_enabled(d, true);
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));
    EXPECT_TRUE(d.messages().empty());
}

TEST(PortButton, AFailedOpenChangesNothingAndAnotherPortOpensAfterwards) {
    Driver d;
    d.port_missing("COM3", "No such file or directory");
    d.start();
    d.click(k_port); // COM1 opens and closes: the port name becomes "COM1"
    d.click(k_port);
    ASSERT_EQ(d.port_name(), "COM1");

    d.choose(entry("com3"));
    d.click(k_port);
    const auto box = d.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_EQ(box[0].text, "COM-Port not available");
    EXPECT_EQ(box[0].title, "COM-Port");
    EXPECT_EQ(box[0].icon, Icon::none);
    EXPECT_EQ(box[0].detail, "No such file or directory");
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM3    ");
    EXPECT_EQ(d.port_name(), "COM1");
    expect_entries_enabled(d, true);
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));

    d.choose(entry("com4"));
    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close COM4    ");
    EXPECT_EQ(d.port_name(), "COM4");
    EXPECT_TRUE(d.messages().empty());
}

// The box's detail is the system's reason explained: here a system of real files.
TEST(PortButton, TheBoxExplainsWhyTheSystemWouldNotOpenThePort) {
    trx::testing::FakeSystem sys;
    sys.file("/dev/ttyUSB0", "", 0660);
    sys.file("/etc/group", "dialout:x:" + std::to_string(sys.group("/dev/ttyUSB0")) + ":\n");
    const platform::SystemPortDiagnosis diagnosis(sys.root(),
                                                  {sys.owner("/dev/ttyUSB0") + 1, {}, "alice", 1});
    DriverOptions options;
    options.port_diagnosis = &diagnosis;
    Driver d(options);
    d.port_missing("/dev/ttyUSB0", "Permission denied");
    d.port_missing("COM3", "No such file or directory");
    d.serial_devices({{"/dev/ttyUSB0", ""}});
    d.start();

    d.choose(entry("ttyUSB0"));
    d.click(k_port);
    auto box = d.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_EQ(box[0].text, "COM-Port not available");
    EXPECT_EQ(box[0].detail, "No permission to open /dev/ttyUSB0: it is open to the group "
                             "\"dialout\", and you are not a member. Join the group, then log "
                             "out and in again (a new group counts from the next login):\n    "
                             "sudo usermod -aG dialout alice");

    d.choose(entry("com3"));
    d.click(k_port);
    box = d.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_EQ(box[0].detail, "There is no device /dev/ttyS2.\n"
                             "Serial adapters present: /dev/ttyUSB0.");
    EXPECT_FALSE(d.port_open());
    // The log has both failures, each on one line.
    std::vector<std::string> failures;
    for (const auto& l : d.log().lines()) {
        if (l.category == "trx.main" && l.level == LogLevel::warning) {
            failures.push_back(l.text);
        }
    }
    ASSERT_EQ(failures.size(), 2U);
    EXPECT_TRUE(failures[0].starts_with("cannot open /dev/ttyUSB0: No permission to open "
                                        "/dev/ttyUSB0: it is open to the group \"dialout\""));
    EXPECT_EQ(failures[1], "cannot open COM3: There is no device /dev/ttyS2. "
                           "Serial adapters present: /dev/ttyUSB0.");
}

// "trx81500 --port NAME": opened at the first tick as by hand, so the link is seen coming up.
TEST(PortMenu, APortNamedAtStartOpensAtTheFirstTickAndItsLinkComesUpAsByHand) {
    Driver d;
    d.serial_devices({{"/dev/ttyUSB0", ""}});
    d.start();
    bool unknown = false;
    const main::PortAtStart usb(d.program().main_form(), "/dev/ttyUSB0", [&] { unknown = true; });
    EXPECT_FALSE(d.port_open());
    d.advance(500ms);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB0"); // the adapter was listed first
    (void)d.sent();
    d.receive(status_frame({}));
    d.advance(500ms);
    EXPECT_NE(d.sent().find("\x02L"), std::string::npos); // the identity is read
    d.advance(2s);
    EXPECT_TRUE(d.port_open()); // once only
    EXPECT_FALSE(unknown);
    d.click(k_port);
}

TEST(PortMenu, APortNamedAtStartThatIsNotThereIsReported) {
    Driver d;
    d.port_missing("COM2");
    d.start();
    int unknown = 0;
    const main::PortAtStart sim(d.program().main_form(), "Simulator", [&] { ++unknown; });
    const main::PortAtStart none(d.program().main_form(), "COM11", [&] { ++unknown; });
    d.advance(500ms);
    EXPECT_TRUE(d.simulator_running());
    EXPECT_EQ(unknown, 1);
    d.click(k_port);

    const main::PortAtStart com2(d.program().main_form(), "COM2", [&] { ++unknown; });
    d.advance(500ms);
    EXPECT_EQ(d.messages().size(), 1U); // will not open: the box as always
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM2    ");
}

TEST(PortMenu, ListsTheSystemsAdaptersAfterTheTenPortsAndRefreshesOnEveryOpening) {
    Driver d;
    d.start();
    std::vector<std::string> expected;
    for (int n = 1; n <= 10; ++n) {
        expected.push_back("com" + std::to_string(n));
    }
    expected.push_back("simulator");
    expected.push_back("replay");
    expected.push_back("network");
    expected.push_back("find");
    expected.push_back("reconnect");
    EXPECT_EQ(entry_keys(d), expected);
    EXPECT_EQ(d.text(entry("find")), "Find scanner");

    d.serial_devices({{"/dev/ttyACM0", ""}, {"/dev/ttyUSB0", "usb-FTDI_FT232R-if00-port0"}});
    auto& tb = d.program().main_form().Toolbar1;
    tb.user_open_menu("comport");
    expected.insert(expected.begin() + 10, {"ttyACM0", "ttyUSB0"});
    EXPECT_EQ(entry_keys(d), expected);
    EXPECT_EQ(d.text(entry("ttyUSB0")), "/dev/ttyUSB0");
    EXPECT_EQ(tb.entry("comport", "ttyUSB0").tooltip, "usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(tb.entry("comport", "ttyACM0").tooltip, "");
    EXPECT_TRUE(tb.entry("comport", "ttyACM0").separator_before);
    EXPECT_FALSE(tb.entry("comport", "ttyUSB0").separator_before);
    EXPECT_EQ(d.text(entry("com10")), "COM10");

    d.choose(entry("ttyUSB0"));
    EXPECT_EQ(d.text(k_port), "Open /dev/ttyUSB0");
    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB0");
    EXPECT_EQ(d.port_name(), "/dev/ttyUSB0");

    // Unplugged meanwhile: the next opening drops it, and the entries stay disabled while open.
    d.serial_devices({});
    tb.user_open_menu("comport");
    EXPECT_EQ(entry_keys(d).size(), 15U);
    expect_entries_enabled(d, false);
    // The open port can still be closed by its caption.
    d.click(k_port);
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open /dev/ttyUSB0");
    expect_entries_enabled(d, true);
}

TEST(PortMenu, TheSimulatorStartsOnOpenAndStopsOnClose) {
    Driver d;
    d.start();
    d.choose(entry("simulator"));
    EXPECT_EQ(d.text(k_port), "Open Simulator");
    EXPECT_FALSE(d.simulator_running());

    d.click(k_port);
    EXPECT_TRUE(d.simulator_running());
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close Simulator");
    EXPECT_EQ(d.port_name(), "/dev/pts/81500"); // the device path, as the flash library needs
    EXPECT_TRUE(d.enabled("main.Toolbar1.software"));

    d.click(k_port);
    EXPECT_FALSE(d.simulator_running());
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open Simulator");

    // A COM port chosen afterwards opens under its own name again.
    d.choose(entry("com2"));
    d.click(k_port);
    EXPECT_EQ(d.port_name(), "COM2");
    EXPECT_FALSE(d.simulator_running());
}

TEST(PortMenu, ASimulatorThatCannotStartIsReportedLikeAMissingPort) {
    Driver d;
    d.simulator_fails("trx81500-sim was not found beside the program");
    d.start();
    d.choose(entry("simulator"));
    d.click(k_port);
    const auto box = d.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_EQ(box[0].text, "COM-Port not available");
    EXPECT_EQ(box[0].detail, "trx81500-sim was not found beside the program");
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open Simulator");
    EXPECT_EQ(d.port_name(), "");
}

TEST(PortMenu, ASimulatorWhosePortWillNotOpenIsStoppedAgain) {
    Driver d;
    d.port_missing("/dev/pts/81500", "Permission denied");
    d.start();
    d.choose(entry("simulator"));
    d.click(k_port);
    EXPECT_EQ(d.messages().size(), 1U);
    EXPECT_FALSE(d.simulator_running());
    EXPECT_FALSE(d.port_open());
}

// A pulled adapter shows as what it is: the port closes, the toolbar shows the state Closed,
// and one box says why. Once it is back, the open caption opens it again.
TEST(DeviceGone, ThePortShowsClosedWithOneBoxAndOpensAgain) {
    Driver d;
    d.start();
    d.choose(entry("com5"));
    d.click(k_port);
    ASSERT_TRUE(d.port_open());
    d.key("main", ctrl | alt, 'Q');
    d.click("main.motor_off"); // asks for a control command every millisecond

    d.pull_device();
    d.pull_device(); // nothing is open any more: nothing more to report
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM5    ");
    expect_entries_enabled(d, true);
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));
    const auto box = d.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_EQ(box[0].text, "COM-Port not available");
    EXPECT_EQ(box[0].title, "COM-Port");
    EXPECT_EQ(box[0].detail, "The device was disconnected.");
    (void)d.sent();
    d.advance(2s);
    EXPECT_EQ(d.sent(), ""); // nothing is written to the vanished device
    EXPECT_TRUE(d.messages().empty());
    // Whoever looks into it afterwards finds it in the log, once.
    int lost_lines = 0;
    for (const auto& l : d.log().lines()) {
        if (l.category == "trx.main" && l.text.starts_with("port COM5 lost")) {
            ++lost_lines;
            EXPECT_EQ(l.level, LogLevel::warning);
            EXPECT_EQ(l.text, "port COM5 lost: The device was removed"); // the port's reason
        }
    }
    EXPECT_EQ(lost_lines, 1);

    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close COM5    ");
    EXPECT_EQ(d.port_name(), "COM5");
    EXPECT_TRUE(d.messages().empty());
}

// Plugged in again, the adapter may get another number; its by-id name finds it.
TEST(DeviceGone, AnAdapterBackUnderAnotherNumberIsFoundByItsByIdName) {
    const std::string id = "usb-FTDI_FT232R_USB_UART_A9XK2-if00-port0";
    Driver d;
    d.serial_devices({{"/dev/ttyUSB0", id}});
    d.start();
    d.choose(entry("ttyUSB0"));
    d.click(k_port);
    ASSERT_TRUE(d.port_open());

    d.pull_device();
    EXPECT_EQ(d.messages().size(), 1U);
    d.serial_devices({{"/dev/ttyUSB0", "usb-Prolific_PL2303-if00-port0"}, {"/dev/ttyUSB1", id}});
    d.port_missing("/dev/ttyUSB0", "Device or resource busy"); // another adapter, in use
    d.click(k_port);
    EXPECT_TRUE(d.port_open());
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB1");
    EXPECT_EQ(d.port_name(), "/dev/ttyUSB1");

    // Gone for good: opening says so, and the caption stays on the adapter's last place.
    d.pull_device();
    (void)d.messages();
    d.serial_devices({});
    d.port_missing("/dev/ttyUSB1");
    d.click(k_port);
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.messages().size(), 1U);
    EXPECT_EQ(d.text(k_port), "Open /dev/ttyUSB1");
}

// The simulator ending under an open port is a lost device too; it is stopped and reaped.
TEST(DeviceGone, ASimulatorThatEndsIsStoppedAndShowsClosed) {
    Driver d;
    d.start();
    d.choose(entry("simulator"));
    d.click(k_port);
    ASSERT_TRUE(d.simulator_running());
    d.pull_device();
    EXPECT_FALSE(d.simulator_running());
    EXPECT_EQ(d.text(k_port), "Open Simulator");
    EXPECT_EQ(d.messages().size(), 1U);
}

TEST(DeviceGone, ExitAfterThePortVanishedStillEnds) {
    Driver d;
    d.start();
    d.click(k_port);
    d.pull_device();
    d.click("main.Toolbar1.exit");
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(d.port_open());
}

TEST(PortShutdown, ExitStopsARunningSimulator) {
    Driver d;
    d.start();
    d.choose(entry("simulator"));
    d.click(k_port);
    ASSERT_TRUE(d.simulator_running());
    d.close("main");
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(d.simulator_running());
    EXPECT_FALSE(d.port_open());
}

} // namespace
} // namespace trx::testkit
