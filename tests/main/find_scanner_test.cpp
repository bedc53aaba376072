// "Find scanner" in the port menu: the port a status frame comes from is chosen and opened;
// none found names every port tried and why; several are offered to choose from.
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

namespace trx::testkit {
namespace {

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_find = "main.Toolbar1.comport.find";

TEST(FindScanner, OpensThePortAStatusFrameComesFromAndListensOnEveryPortPresent) {
    Driver d;
    d.start();
    d.serial_devices({{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", "usb-FTDI-if00"}});
    d.device_delivers("/dev/ttyUSB0", "~~~~ noise ~~~~");
    d.device_delivers("/dev/ttyUSB1", status_frame({}));
    d.choose(k_find);

    const auto listened = d.listened_devices();
    ASSERT_EQ(listened.size(), 12U);
    EXPECT_EQ(listened.front(), "/dev/ttyS0");
    EXPECT_EQ(listened.back(), "/dev/ttyUSB1");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), "/dev/ttyUSB1");
    EXPECT_EQ(d.text(k_port), "Close /dev/ttyUSB1");
    // Closed and opened again by its caption, it is the found port that opens.
    d.click(k_port);
    EXPECT_FALSE(d.port_open());
    d.click(k_port);
    EXPECT_EQ(d.port_name(), "/dev/ttyUSB1");
}

TEST(FindScanner, NoneFoundListsEveryPortTriedWithItsReasonAndLeavesTheChoiceAsItWas) {
    Driver d;
    d.start();
    d.serial_devices({{"/dev/ttyUSB0", ""}});
    d.device_delivers("/dev/ttyS2", "just text");
    d.device_held("/dev/ttyUSB0", "in use by minicom (process 77)");
    d.choose(k_find);

    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].title, "Find scanner");
    EXPECT_NE(boxes[0].text.find("No scanner found. Ports tried:\n"), std::string::npos);
    EXPECT_NE(boxes[0].text.find("  COM1 (/dev/ttyS0): nothing received within 1 s"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("  COM3 (/dev/ttyS2): 9 bytes, no frame within 1 s"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("  /dev/ttyUSB0: in use by minicom (process 77)"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM1    ");
}

TEST(FindScanner, SeveralFoundAreOfferedAndOnlyTheOneChosenOpens) {
    Driver d;
    d.start();
    d.serial_devices({{"/dev/ttyUSB0", ""}, {"/dev/ttyACM0", ""}});
    d.device_delivers("/dev/ttyS3", status_frame({}));
    d.device_delivers("/dev/ttyACM0", status_frame({}));

    d.choose(k_find); // cancelled: nothing changes
    EXPECT_EQ(d.offered_choices(), (std::vector<std::string>{"COM4", "/dev/ttyACM0"}));
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.text(k_port), "Open COM1    ");

    d.answer_choice_dialog("/dev/ttyACM0");
    d.choose(k_find);
    EXPECT_TRUE(d.port_open());
    EXPECT_EQ(d.port_name(), "/dev/ttyACM0");
    EXPECT_TRUE(d.messages().empty());
}

TEST(FindScanner, AFoundPortThatWillNotOpenGetsTheUsualBox) {
    Driver d;
    d.start();
    d.device_delivers("/dev/ttyS4", status_frame({}));
    d.port_missing("COM5", "Permission denied");
    d.choose(k_find);
    EXPECT_FALSE(d.port_open());
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "COM-Port not available");
    EXPECT_EQ(d.text(k_port), "Open COM5    ");
}

} // namespace
} // namespace trx::testkit
