#include "capture/recent_ring.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

// The records in raw views, in order: their times and data.
std::vector<Record> records_in(const std::vector<std::string_view>& views) {
    std::vector<Record> out;
    for (const std::string_view raw : views) {
        std::size_t pos = 0;
        Kind kind{};
        std::uint64_t time = 0;
        std::string_view data;
        while (next_raw(raw, pos, kind, time, data)) {
            out.push_back({kind, time, std::string(data)});
        }
    }
    return out;
}

// What a recording takes from the ring: every record after its mark exactly once, across
// chunks, in views that stay whole after the ring has dropped their chunk.
TEST(RecentRing, HandsOnEveryRecordAfterAMarkOnceAndKeepsItWhileHeld) {
    RecentRing ring(minutes(10), 4096); // chunks of 256 bytes
    RecentRing::Mark mark = ring.end();
    std::vector<std::shared_ptr<const RawBlock>> held;
    std::vector<std::string_view> views;
    const auto take = [&] {
        ring.since(mark, [&](std::shared_ptr<const RawBlock> chunk, std::string_view raw) {
            held.push_back(std::move(chunk));
            views.push_back(raw);
        });
    };
    std::vector<Record> appended;
    for (std::uint64_t i = 0; i < 300; ++i) {
        appended.push_back(
            {Kind::received, i, "rec-" + std::to_string(i) + std::string(i % 23, '.')});
        ring.append(Kind::received, i, appended.back().data);
        if (i % 7 == 0) {
            take(); // now and then, as the recording's block fills
        }
    }
    take();
    take(); // nothing new: nothing handed on
    EXPECT_LE(ring.bytes(), 4096U);
    EXPECT_EQ(records_in(views), appended); // the ring itself kept only the last few of them
    EXPECT_LT(ring.size(), appended.size());

    // A mark from before everything the ring still holds starts at its oldest record.
    RecentRing::Mark old{};
    views.clear();
    ring.since(
        old, [&](std::shared_ptr<const RawBlock>, std::string_view raw) { views.push_back(raw); });
    EXPECT_EQ(records_in(views).size(), ring.size());
}

} // namespace
} // namespace trx::capture
