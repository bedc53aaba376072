// The update log's lines: numbers, the frequency and the target's name as the log shows them.
#include "service/update_log.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace trx::service::update_log {
namespace {

TEST(UpdateLog, NumbersCarryABlankOrTheirSign) {
    EXPECT_EQ(number(0), " 0");
    EXPECT_EQ(number(131072), " 131072");
    EXPECT_EQ(number(-1), "-1");
    EXPECT_EQ(number(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(load_file(-1), "LoadFile: -1 Byte");
    EXPECT_EQ(hex_file_block(0x7FFFFFFF), "GetHexFileBlock:  2147483647");
}

TEST(UpdateLog, AWholeFrequencyHasNoPointAndNoExponent) {
    EXPECT_EQ(frequency(20e6), " 20000000");
    EXPECT_EQ(frequency(0.0), " 0");
    EXPECT_EQ(frequency(-0.0), " 0");
    EXPECT_EQ(frequency(123456789012345.0), " 123456789012345");
    EXPECT_EQ(frequency(19999999.5), " 19999999.5");
    EXPECT_EQ(frequency(-40.25), "-40.25");
    EXPECT_EQ(frequency(std::numeric_limits<double>::quiet_NaN()), "????????");
    EXPECT_EQ(target("ST10F269", 40e6), "Target: ST10F269  @   40000000 Hz");
}

TEST(UpdateLog, TheNameShowsItsFirstEightCharactersAndNothingThatBreaksALine) {
    EXPECT_EQ(name_shown("TRXSIM81500-A                   "), "TRXSIM81");
    EXPECT_EQ(name_shown(std::string("ST10\0XYZW", 9)), "ST10    ");
    EXPECT_EQ(name_shown("AB"), "AB      ");
    EXPECT_EQ(name_shown("A\r\nB\tC"), "A??B?C  ");
    EXPECT_EQ(target_unknown("ST10    "), "Target: ST10      @  ???????? Hz");
}

} // namespace
} // namespace trx::service::update_log
