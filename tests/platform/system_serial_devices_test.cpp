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

} // namespace
} // namespace trx::platform
