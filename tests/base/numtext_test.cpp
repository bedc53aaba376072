// Our number texts do not depend on the C or C++ locale.
#include "base/numtext.hpp"

#include <clocale>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace trx::num {
namespace {

TEST(NumText, DecimalAndHexTexts) {
    EXPECT_EQ(dec(0), "0");
    EXPECT_EQ(dec(-127), "-127");
    EXPECT_EQ(dec(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(hex_upper(0x4C, 2), "4C");
    EXPECT_EQ(hex_upper(9, 2), "09");
    EXPECT_EQ(hex_upper(0x12C, 4), "012C");
    EXPECT_EQ(hex_upper(0x12345, 4), "12345");
    EXPECT_EQ(dec(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(dec(10), "10");
    EXPECT_EQ(hex_upper(0, 0), "0");
    EXPECT_EQ(hex_upper(0, 4), "0000");
    EXPECT_EQ(hex_upper(0x10, 1), "10");
    EXPECT_EQ(hex_upper(std::numeric_limits<std::uint64_t>::max(), 2), "FFFFFFFFFFFFFFFF");
    // Appended digits go after what is there and leave it alone.
    std::string frame = "S1F";
    append_hex_upper(frame, 0xA, 4);
    append_hex_upper(frame, 0, 2);
    append_hex_upper(frame, 0x1234, 2);
    EXPECT_EQ(frame, "S1F000A001234");
}

TEST(NumText, FixedPointWithDecimalComma) {
    EXPECT_EQ(fixed_comma(109, 2), "1,09");
    EXPECT_EQ(fixed_comma(125, 1), "12,5");
    EXPECT_EQ(fixed_comma(60, 1), "6,0");
    EXPECT_EQ(fixed_comma(5, 2), "0,05");
    EXPECT_EQ(fixed_comma(-5, 1), "-0,5");
    EXPECT_EQ(fixed_comma(7, 0), "7");
}

TEST(NumText, LeadingValueAndWholeNumbers) {
    EXPECT_EQ(leading_value(""), 0);
    EXPECT_EQ(leading_value("?"), 0);
    EXPECT_EQ(leading_value("07x"), 7);
    EXPECT_EQ(leading_value("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse_whole("4294967295"), 4294967295U);
    EXPECT_FALSE(parse_whole("").has_value());
    EXPECT_FALSE(parse_whole("12a").has_value());
    EXPECT_FALSE(parse_whole("-1").has_value());
    EXPECT_FALSE(parse_whole("99999999999999999999999").has_value());
}

TEST(NumText, CommaNumbersCutToTheirDecimalsAndTellWhatWasCut) {
    const auto tenths = [](std::string_view t) { return parse_comma(t, 1); };
    EXPECT_EQ(tenths("12,5")->scaled, 125);
    EXPECT_EQ(tenths("7")->scaled, 70);
    EXPECT_EQ(tenths("12,")->scaled, 120);
    EXPECT_EQ(tenths(",5")->scaled, 5);
    EXPECT_EQ(tenths("6,05")->scaled, 60);
    EXPECT_TRUE(tenths("18,00")->exact);
    EXPECT_FALSE(tenths("18,01")->exact);
    EXPECT_EQ(parse_comma("1,09", 2)->scaled, 109);
    for (const char* bad :
         {"", ",", "1,2,3", "12.5", " 1", "-1", "1a", "??.?", "99999999999999999999"}) {
        EXPECT_FALSE(tenths(bad).has_value()) << bad;
    }
}

TEST(NumText, SameTextsUnderAGermanLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    EXPECT_EQ(fixed_comma(125, 1), "12,5");
    EXPECT_EQ(dec(-1234567), "-1234567");
    EXPECT_EQ(parse_comma("12,5", 1)->scaled, 125);
    EXPECT_FALSE(parse_comma("12.5", 1).has_value());
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
} // namespace trx::num
