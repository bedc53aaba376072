// Port button captions.
#include "forms/port_menu.hpp"

#include <gtest/gtest.h>

namespace trx::main {
namespace {

TEST(PortCaptions, PadToThirteenAndFourteenCharactersWithoutCuttingLongerNames) {
    EXPECT_EQ(open_caption("COM1"), "Open COM1    ");
    EXPECT_EQ(close_caption("COM1"), "Close COM1    ");
    EXPECT_EQ(open_caption("COM10"), "Open COM10   ");
    EXPECT_EQ(close_caption("COM10"), "Close COM10   ");
    EXPECT_EQ(open_caption("/dev/ttyUSB0"), "Open /dev/ttyUSB0");
    EXPECT_EQ(close_caption("Simulator"), "Close Simulator");
}

} // namespace
} // namespace trx::main
