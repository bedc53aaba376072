#include "base/text.hpp"

#include <gtest/gtest.h>

namespace trx {
namespace {

TEST(Text, TrimTakesBlanksFromBothEndsAndKeepsThoseInside) {
    EXPECT_EQ(trim("  a b\t\r\n"), "a b");
    EXPECT_EQ(trim("\t\n x"), "x");
    EXPECT_EQ(trim("x"), "x");
    EXPECT_EQ(trim(" \t\r\n "), "");
    EXPECT_EQ(trim(""), "");
    // The set is the caller's: a parameter file's line keeps what is not in it.
    EXPECT_EQ(trim("\n key = 1 \r", " \t\r"), "\n key = 1");
    static_assert(trim("  0 ") == "0");
}

TEST(Text, TrimStartLeavesTheEnd) {
    EXPECT_EQ(trim_start("   0,5 m "), "0,5 m ");
    EXPECT_EQ(trim_start(" \tx", " "), "\tx");
    EXPECT_EQ(trim_start("   ", " "), "");
}

} // namespace
} // namespace trx
