#include "capture/recent_ring.hpp"

#include <gtest/gtest.h>

namespace trx::capture {
namespace {

using std::chrono::minutes;

constexpr std::uint64_t k_minute = 60'000'000;

TEST(RecentRing, KeepsExactlyTheLastSpan) {
    RecentRing ring;
    for (std::uint64_t t = 0; t <= 15 * k_minute; t += k_minute / 2) {
        ring.append(Kind::received, t, "x");
    }
    const auto kept = ring.recent(15 * k_minute);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front().time_us, 5 * k_minute); // exactly ten minutes back, included
    EXPECT_EQ(kept.back().time_us, 15 * k_minute);
    EXPECT_EQ(kept.size(), 21U);
    // Later, with nothing new, older records fall out of the span too.
    EXPECT_EQ(ring.recent(24 * k_minute).size(), 3U);
}

TEST(RecentRing, NeverHoldsMoreThanItsBytesWhateverArrives) {
    const std::size_t max = 64 * 1024;
    RecentRing ring(minutes(10), max);
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i) {
        ring.append(Kind::received, static_cast<std::uint64_t>(i), chunk);
        ASSERT_LE(ring.bytes(), max);
    }
    const auto kept = ring.recent(1000);
    EXPECT_EQ(kept.back().time_us, 999U); // the newest stay
    EXPECT_GT(kept.size(), 50U);
    // Tiny records are bounded as well: their bookkeeping counts.
    for (int i = 0; i < 10000; ++i) {
        ring.append(Kind::received, 1000 + static_cast<std::uint64_t>(i), "b");
    }
    EXPECT_LE(ring.bytes(), max);
    EXPECT_LE(ring.size(), max / (RecentRing::k_record_cost + 1));
    // One record larger than the whole ring keeps its newest part.
    ring.append(Kind::received, 20000, std::string(max * 2, 'c') + "end");
    EXPECT_LE(ring.bytes(), max);
    EXPECT_TRUE(ring.recent(20000).back().data.ends_with("end"));
}

} // namespace
} // namespace trx::capture
