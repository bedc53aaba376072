// Port names: the ten menu ports stand for the first ten serial devices; a name with a "/" is
// a path, relative ones from the working folder, never a name under /dev.
#include "base/port_names.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace trx {
namespace {

TEST(PortNames, MenuPortsMapAndEveryOtherNameIsAPathOrStaysAsItIs) {
    EXPECT_EQ(device_for_port_name("COM1"), "/dev/ttyS0");
    EXPECT_EQ(device_for_port_name("COM10"), "/dev/ttyS9");
    EXPECT_EQ(device_for_port_name("COM11"), "COM11");
    EXPECT_EQ(device_for_port_name("COM01"), "COM01");
    EXPECT_EQ(device_for_port_name("/dev/ttyUSB0"), "/dev/ttyUSB0");

    const auto cwd = std::filesystem::current_path();
    EXPECT_EQ(device_for_port_name("./pty"), (cwd / "pty").string());
    EXPECT_EQ(device_for_port_name("links/scanner"), (cwd / "links" / "scanner").string());
    EXPECT_EQ(device_for_port_name("../x/ttyX"), (cwd.parent_path() / "x" / "ttyX").string());
    // A network address holds a "/" and is no path.
    EXPECT_EQ(device_for_port_name("socket://127.0.0.1:4001"), "socket://127.0.0.1:4001");
    EXPECT_EQ(device_for_port_name("rfc2217://[::1]:4002"), "rfc2217://[::1]:4002");
}

} // namespace
} // namespace trx
