// "Reconnect automatically": the check item, its choice kept for each kind of port, and a lost
// port waited for without a box and reopened (a replugged USB adapter, a device server back on
// the network); a network port named at start.
#include "main/port_at_start.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace trx::testkit {
namespace {

using namespace std::chrono_literals;

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_reconnect = "main.Toolbar1.comport.reconnect";
constexpr const char* k_network = "main.Toolbar1.comport.network";
const std::string k_id = "usb-FTDI_FT232R_USB_UART_A9XK2-if00-port0";

std::string entry(const std::string& key) {
    return std::string(k_port) + "." + key;
}

// A config folder of the test's own, gone afterwards.
struct TempConfig {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("trx-reconnect-" + std::to_string(::getpid()));
    TempConfig() { std::filesystem::create_directories(path); }
    ~TempConfig() { std::filesystem::remove_all(path); }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;
};

void choose_address(Driver& d, const std::string& address) {
    d.answer_address_dialog(address);
    d.choose(k_network);
}

// The link comes up: panel 1 "online" (blinking) and the identity asked for.
void expect_link_comes_up(Driver& d) {
    (void)d.sent();
    d.receive(parameter_reply(false)); // the set, so that the frames are shown
    (void)d.messages();
    for (int i = 0; i < 10; ++i) {
        d.receive(status_frame({}));
        d.advance(100ms);
    }
    const std::string link = d.panel("main.StatusBar1", 1);
    EXPECT_TRUE(link == "online" || link.empty()) << link;
    EXPECT_NE(d.sent().find("\x02L"), std::string::npos) << "the identity is read";
}

TEST(Reconnect, OnForNetworkPortsOffForLocalOnesAndEachChoiceIsKept) {
    const TempConfig config;
    DriverOptions options;
    options.config_folder = config.path;
    {
        Driver d(options);
        d.start();
        EXPECT_EQ(d.text(k_reconnect), "Reconnect automatically");
        EXPECT_FALSE(d.checked(k_reconnect)) << "COM1 is local";
        choose_address(d, "socket://10.0.0.7:4001");
        EXPECT_TRUE(d.checked(k_reconnect));
        d.choose(k_reconnect);
        EXPECT_FALSE(d.checked(k_reconnect));
        d.choose(entry("com3"));
        EXPECT_FALSE(d.checked(k_reconnect));
        d.choose(k_reconnect);
        EXPECT_TRUE(d.checked(k_reconnect));
        // A setting, not a port: it stays at hand while a port is open.
        d.click(k_port);
        ASSERT_TRUE(d.port_open());
        EXPECT_TRUE(d.enabled(k_reconnect));
        EXPECT_FALSE(d.enabled(entry("com4")));
        d.click(k_port);
    }
    Driver again(options);
    again.start();
    EXPECT_TRUE(again.checked(k_reconnect)) << "local, turned on last time";
    choose_address(again, "rfc2217://10.0.0.7:4002");
    EXPECT_FALSE(again.checked(k_reconnect)) << "network, turned off last time";
}

// A file written by hand with words the program does not know keeps the defaults for them.
TEST(Reconnect, AnUnreadableChoiceKeepsTheDefault) {
    const TempConfig temp;
    const auto& config = temp.path;
    std::ofstream(config / "reconnect") << "network=maybe local=on extra=1\n";
    DriverOptions options;
    options.config_folder = config;
    Driver d(options);
    d.start();
    EXPECT_TRUE(d.checked(k_reconnect)) << "local=on was read";
    choose_address(d, "socket://10.0.0.7:4001");
    EXPECT_TRUE(d.checked(k_reconnect)) << "network=maybe: the default";
    d.choose(k_reconnect);
    EXPECT_FALSE(d.checked(k_reconnect));
    std::ifstream in(config / "reconnect");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "network=off local=on");
}

TEST(Reconnect, APulledAdapterIsWaitedForWithoutABoxAndReopenedUnderItsByIdName) {
    Driver d;
    d.serial_devices({{"/dev/ttyUSB0", k_id}});
    d.start();
    d.advance(600ms); // the supervision's first tick: the link is seen coming up
    d.choose(entry("ttyUSB0"));
    d.choose(k_reconnect);
    d.click(k_port);
    ASSERT_TRUE(d.port_open());
    expect_link_comes_up(d);

    d.pull_device();
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "waiting for /dev/ttyUSB0 ...");
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB0");
    EXPECT_FALSE(d.enabled("main.Toolbar1.software"));
    EXPECT_FALSE(d.enabled(entry("com1")));
    d.advance(5s); // the supervision ticks on; the note stays
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "waiting for /dev/ttyUSB0 ...");
    EXPECT_TRUE(d.stale("main.data"));

    // Another adapter takes the old number meanwhile: it is not the scanner's.
    d.serial_devices({{"/dev/ttyUSB0", "usb-Prolific_PL2303-if00-port0"}});
    d.port_found("/dev/ttyUSB0");
    d.advance(2s);
    EXPECT_FALSE(d.port_open());

    d.plug_device("/dev/ttyUSB1");
    d.advance(1s);
    ASSERT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), "/dev/ttyUSB1");
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB1");
    EXPECT_TRUE(d.enabled("main.Toolbar1.software"));
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "offline");
    expect_link_comes_up(d);
    EXPECT_FALSE(d.stale("main.data"));
    EXPECT_TRUE(d.messages().empty());
}

TEST(Reconnect, ANetworkPortIsRetriedEveryTwoSecondsUntilTheServerIsBack) {
    const std::string address = "rfc2217://127.0.0.1:4002";
    Driver d;
    d.start();
    d.advance(600ms);
    choose_address(d, address);
    d.click(k_port);
    ASSERT_TRUE(d.port_open());
    expect_link_comes_up(d);

    d.port_missing(address, "127.0.0.1:4002 refused the connection: nothing listens on that port");
    d.pull_device();
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "waiting for " + address + " ...");
    EXPECT_EQ(d.text(k_port), "Close " + address);
    d.clear_log();
    d.advance(7s);
    int tries = 0;
    for (const auto& l : d.log().lines()) {
        tries += l.text.starts_with("port " + address + " not back yet: 127.0.0.1:4002 refused");
    }
    EXPECT_EQ(tries, 3) << "at 2, 4 and 6 s";

    d.port_found(address);
    d.advance(2s);
    ASSERT_TRUE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Close " + address);
    expect_link_comes_up(d);
    EXPECT_TRUE(d.messages().empty());
}

TEST(Reconnect, CloseEndsTheWaitAndTheOriginalBoxStaysTheDefaultForLocalPorts) {
    const std::string address = "socket://127.0.0.1:4001";
    Driver d;
    d.start();
    choose_address(d, address);
    d.click(k_port);
    d.port_missing(address, "refused");
    d.pull_device();
    ASSERT_EQ(d.text(k_port), "Close " + address);
    d.click(k_port);
    EXPECT_EQ(d.text(k_port), "Open " + address);
    EXPECT_TRUE(d.enabled(entry("com1")));
    d.port_found(address);
    d.advance(5s);
    EXPECT_FALSE(d.port_open()) << "no reopening after Close";
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "offline");
    EXPECT_TRUE(d.messages().empty());

    // Switched off while waiting: the port shows closed at once.
    d.click(k_port);
    d.port_missing(address, "refused");
    d.pull_device();
    d.choose(k_reconnect);
    EXPECT_EQ(d.text(k_port), "Open " + address);
    d.port_found(address);
    d.advance(5s);
    EXPECT_FALSE(d.port_open());

    // A local port keeps the box.
    d.choose(entry("com2"));
    d.click(k_port);
    d.pull_device();
    ASSERT_EQ(d.messages().size(), 1U);
    EXPECT_EQ(d.text(k_port), "Open COM2    ");
}

TEST(Reconnect, ANetworkPortNamedAtStartOpensAtTheFirstTick) {
    const std::string address = "socket://127.0.0.1:4001";
    Driver d;
    d.start();
    bool unknown = false;
    const main::PortAtStart at(
        d.program().main_form(), address, [&] { unknown = true; }, &d.program().main_window());
    d.advance(500ms);
    ASSERT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), address);
    EXPECT_EQ(d.text(k_port), "Close " + address);
    EXPECT_FALSE(unknown);
    expect_link_comes_up(d);
    d.click(k_port);
    // Remembered as if typed into the dialog.
    d.choose(k_network);
    EXPECT_EQ(d.offered_addresses(), std::vector<std::string>{address});

    Driver bad;
    bad.start();
    const main::PortAtStart wrong(
        bad.program().main_form(), "socket://scanner", [&] { unknown = true; },
        &bad.program().main_window());
    bad.advance(500ms);
    EXPECT_FALSE(bad.port_open());
    const auto box = bad.messages();
    ASSERT_EQ(box.size(), 1U);
    EXPECT_NE(box[0].text.find("names no port (HOST:PORT)"), std::string::npos) << box[0].text;
    EXPECT_FALSE(unknown);
}

} // namespace
} // namespace trx::testkit
