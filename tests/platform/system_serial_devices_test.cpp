// The serial devices found under a device folder.
#include "platform/system_serial_devices.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace trx::platform {
namespace {

namespace fs = std::filesystem;

TEST(SystemSerialDevices, FindsUsbAdaptersInNaturalOrderWithTheirStableNames) {
    const fs::path dev = fs::temp_directory_path() / ("trx81500-dev-" + std::to_string(::getpid()));
    fs::remove_all(dev);
    fs::create_directories(dev / "serial" / "by-id");
    for (const char* n : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyUSB1", "tty0", "null"}) {
        std::ofstream(dev / n).put('\n');
    }
    fs::create_symlink("../../ttyUSB2", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A1-if00-port0");
    fs::create_symlink("../../ttyACM0", dev / "serial" / "by-id" / "usb-Arduino_Uno-if00");

    const auto found = SystemSerialDevices(dev).list();
    ASSERT_EQ(found.size(), 4U);
    EXPECT_EQ(found[0].path, (dev / "ttyACM0").string());
    EXPECT_EQ(found[0].by_id, "usb-Arduino_Uno-if00");
    EXPECT_EQ(found[1].path, (dev / "ttyUSB1").string());
    EXPECT_EQ(found[1].by_id, "");
    EXPECT_EQ(found[2].path, (dev / "ttyUSB2").string());
    EXPECT_EQ(found[2].by_id, "usb-FTDI_FT232R_A1-if00-port0");
    EXPECT_EQ(found[3].path, (dev / "ttyUSB10").string());

    fs::remove_all(dev);
    EXPECT_TRUE(SystemSerialDevices(dev).list().empty()); // no folder: no devices, no throw
}

// A /dev/ttyS node exists for every port the kernel could have: only a chip behind it (its
// sysfs type not 0) makes it present; an adapter or a pseudo-terminal is present by its node.
TEST(SystemSerialDevices, APortIsPresentOnlyWithADeviceBehindIt) {
    const fs::path root =
        fs::temp_directory_path() / ("trx81500-sys-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path dev = root / "dev";
    const fs::path sys = root / "sys";
    fs::create_directories(dev);
    for (const char* n : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0"}) {
        std::ofstream(dev / n).put('\n');
    }
    for (const auto& [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
        fs::create_directories(sys / "class" / "tty" / name);
        std::ofstream(sys / "class" / "tty" / name / "type") << type << '\n';
    }
    const SystemSerialDevices devices(dev, sys);
    EXPECT_TRUE(devices.present("/dev/ttyS0"));  // a 16550A answered
    EXPECT_FALSE(devices.present("/dev/ttyS1")); // a node without a chip
    EXPECT_TRUE(devices.present("/dev/ttyS2"));  // no sysfs entry: the node is all there is
    EXPECT_FALSE(devices.present("/dev/ttyS3")); // no node at all
    EXPECT_TRUE(devices.present("/dev/ttyUSB0"));
    EXPECT_FALSE(devices.present("/dev/ttyUSB1"));
    EXPECT_TRUE(devices.present((dev / "ttyUSB0").string())); // a path outside /dev as it is
    fs::remove_all(root);
}

} // namespace
} // namespace trx::platform
