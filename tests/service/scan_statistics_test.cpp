// The scan statistics on hand-made turns: read rates, circular angles, the sliding window,
// the per-turn figures, events, restarts and the CSV layout.
#include "service/scan_statistics.hpp"
#include "service/statistics_layout.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace trx::service {
namespace {

constexpr std::int64_t k_r = 8192;

struct Tag {
    int code;
    std::int64_t angle;
    std::int64_t width = 50;
};

Turn turn_of(std::int64_t t_ms, const std::vector<Tag>& tags, std::int64_t r = k_r,
             std::int32_t temperature = 21, std::int16_t status = 1) {
    Turn t;
    t.t_ms = t_ms;
    t.resolution = r;
    t.temperature = temperature;
    t.status_word = status;
    int k = 0;
    for (const Tag& g : tags) {
        link::Stripe s;
        s.k = ++k;
        s.record.code = g.code;
        s.tag_angle = g.angle;
        s.tag_width = g.width;
        t.stripes.push_back(s);
    }
    return t;
}

const TagFigures& tag(const StatisticsSummary& s, int code) {
    for (const TagFigures& t : s.tags) {
        if (t.code == code) {
            return t;
        }
    }
    throw std::out_of_range("no code " + std::to_string(code));
}

// Distance on the circle of k_r increments.
double circular_distance(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), static_cast<double>(k_r));
    return std::min(d, static_cast<double>(k_r) - d);
}

int count(const ScanStatistics& s, EventKind kind, int code) {
    int n = 0;
    for (const StatisticsEvent& e : s.events()) {
        n += e.kind == kind && e.code == code ? 1 : 0;
    }
    return n;
}

TEST(ScanStatistics, ReadRateCountsTurnsAndDuplicatesOnce) {
    ScanStatistics stats({.window = 10});
    for (int i = 0; i < 10; ++i) {
        std::vector<Tag> tags{{7, 100}};
        if (i % 5 != 0) {
            tags.push_back({5, 2000});
        }
        if (i == 3) {
            tags.push_back({7, 104}); // read twice in one turn
        }
        stats.add(turn_of(i * 100, tags));
    }
    const StatisticsSummary s = stats.summary();
    EXPECT_EQ(s.turns, 10);
    EXPECT_FALSE(s.partial);
    EXPECT_EQ(tag(s, 5).seen, 8);
    EXPECT_DOUBLE_EQ(tag(s, 5).read_rate, 0.8);
    EXPECT_TRUE(tag(s, 5).low_rate);
    EXPECT_EQ(tag(s, 7).seen, 10);
    EXPECT_DOUBLE_EQ(tag(s, 7).read_rate, 1.0);
    EXPECT_EQ(tag(s, 7).duplicates, 1);
    // The duplicate's second reading takes no part in the angle.
    EXPECT_DOUBLE_EQ(tag(s, 7).angle_mean, 100);
    EXPECT_DOUBLE_EQ(tag(s, 7).angle_sd, 0);
    EXPECT_EQ(tag(s, 5).last_seen, 10);
    ASSERT_EQ(s.tags.size(), 2U);
    EXPECT_EQ(s.tags.front().code, 5); // by code
}

TEST(ScanStatistics, AnglesAcrossZeroHaveASmallSpreadAndAMeanNearZero) {
    ScanStatistics stats({.window = 100});
    // As the decoding gives them: negative for a tag across 0, wrapped for stripe 1.
    const std::int64_t readings[] = {-2, 3, 8190, 1, -1, 8191, 2, 0};
    std::int64_t t = 0;
    for (const std::int64_t a : readings) {
        stats.add(turn_of(t += 55, {{11, a, 40 + (a & 1)}}));
    }
    const TagFigures f = tag(stats.summary(), 11);
    // Offsets from 0: -2 3 -2 1 -1 -1 2 0, mean 0, sample deviation sqrt(24/7).
    EXPECT_LT(circular_distance(f.angle_mean, 0), 1e-9);
    EXPECT_NEAR(f.angle_sd, std::sqrt(24.0 / 7.0), 1e-9);
    EXPECT_GE(f.angle_mean, 0);
    EXPECT_LT(f.angle_mean, k_r);
    EXPECT_NEAR(f.width_mean, 40.5, 1e-9);
}

TEST(ScanStatistics, AMeanJustBelowZeroStaysOnTheCircle) {
    ScanStatistics stats;
    for (int i = 0; i < 4; ++i) {
        stats.add(turn_of(i * 55, {{3, i % 2 == 0 ? 1 : -4}}));
    }
    EXPECT_NEAR(tag(stats.summary(), 3).angle_mean, k_r - 1.5, 1e-9);
}

TEST(ScanStatistics, OnlyTheLastNTurnsCount) {
    ScanStatistics stats({.window = 5});
    for (int i = 0; i < 12; ++i) {
        // Early turns at 1000 and width 10; the last five at 3000 and width 30.
        const bool late = i >= 7;
        stats.add(turn_of(i * 100, {{9, late ? 3000 : 1000, late ? 30 : 10}}, k_r, i));
    }
    const StatisticsSummary s = stats.summary();
    EXPECT_EQ(s.turns, 5);
    EXPECT_EQ(s.total_turns, 12);
    EXPECT_DOUBLE_EQ(tag(s, 9).angle_mean, 3000);
    EXPECT_DOUBLE_EQ(tag(s, 9).width_mean, 30);
    EXPECT_DOUBLE_EQ(tag(s, 9).width_sd, 0);
    EXPECT_DOUBLE_EQ(s.temperature.min, 7);
    EXPECT_DOUBLE_EQ(s.temperature.max, 11);
    EXPECT_DOUBLE_EQ(s.temperature.mean, 9);
}

TEST(ScanStatistics, FewerTurnsThanTheWindowAreMarkedAndRatedOverTheTurnsSeen) {
    ScanStatistics stats({.window = 1000});
    for (int i = 0; i < 4; ++i) {
        stats.add(turn_of(i * 100, i == 0 ? std::vector<Tag>{} : std::vector<Tag>{{4, 10}}));
    }
    const StatisticsSummary s = stats.summary();
    EXPECT_TRUE(s.partial);
    EXPECT_EQ(s.turns, 4);
    EXPECT_DOUBLE_EQ(tag(s, 4).read_rate, 0.75);
    // Rate events wait for a full window: four turns say too little.
    EXPECT_EQ(count(stats, EventKind::low_rate, 4), 0);
}

TEST(ScanStatistics, PerTurnFiguresFromArrivalTimesWithoutDividingByZero) {
    ScanStatistics stats({.window = 50});
    // 10 turns/s, one gap of 200 ms (a lost frame), and two frames in the same millisecond.
    // (The first turn's rate reaches back before the window and counts not.)
    const std::int64_t times[] = {0, 100, 200, 400, 500, 500, 600};
    int stripes = 0;
    for (const std::int64_t t : times) {
        std::vector<Tag> tags(static_cast<std::size_t>(stripes++ % 3), Tag{0, 0});
        stats.add(turn_of(t, tags, k_r, 20, static_cast<std::int16_t>(stripes % 2 == 0 ? 1 : 5)));
    }
    const StatisticsSummary s = stats.summary();
    ASSERT_TRUE(s.turn_rate.any);
    // Over up to four intervals: the lost frame shows as 3 turns in 400 ms, the pair within one
    // millisecond as 4 turns in 400 ms.
    EXPECT_DOUBLE_EQ(s.turn_rate.min, 7.5);
    EXPECT_DOUBLE_EQ(s.turn_rate.max, 10);
    EXPECT_DOUBLE_EQ(s.turn_rate.mean, 10); // 6 intervals over 600 ms
    EXPECT_DOUBLE_EQ(s.stripes_per_turn.min, 0);
    EXPECT_DOUBLE_EQ(s.stripes_per_turn.max, 2);
    EXPECT_DOUBLE_EQ(s.status_share[0], 1.0);
    EXPECT_NEAR(s.status_share[2], 4.0 / 7.0, 1e-12);
    EXPECT_TRUE(s.tags.empty()); // code 0 is no code
    EXPECT_FALSE(s.no_tags.empty());
}

TEST(ScanStatistics, EventsForNewLostLowRateAndWanderingTags) {
    ScanStatistics stats({.window = 20,
                          .lost_after = 5,
                          .rate_threshold = 0.95,
                          .angle_sd_deg = 0.1}); // 0.1 degree: 2.28 increments at 8192
    std::int64_t t = 0;
    for (int i = 0; i < 40; ++i) {
        std::vector<Tag> tags{{1, 500}};
        if (i < 10) {
            tags.push_back({2, 900}); // gone after turn 10
        }
        tags.push_back({3, i % 2 == 0 ? 4000 : 4010}); // wanders by 10 increments
        stats.add(turn_of(t += 55, tags));
    }
    EXPECT_EQ(count(stats, EventKind::new_code, 1), 1);
    EXPECT_EQ(count(stats, EventKind::new_code, 2), 1);
    EXPECT_EQ(count(stats, EventKind::lost, 2), 1); // once, not at every turn after
    EXPECT_EQ(count(stats, EventKind::lost, 1), 0);
    EXPECT_EQ(count(stats, EventKind::low_rate, 2), 1);
    EXPECT_EQ(count(stats, EventKind::low_rate, 1), 0);
    EXPECT_EQ(count(stats, EventKind::wandering, 3), 1);
    EXPECT_EQ(count(stats, EventKind::wandering, 1), 0);
    const StatisticsSummary s = stats.summary();
    EXPECT_DOUBLE_EQ(tag(s, 2).read_rate, 0); // a lost code stays in the table
    EXPECT_EQ(tag(s, 2).last_seen, 10);
    EXPECT_TRUE(tag(s, 3).wandering);
    EXPECT_FALSE(tag(s, 1).wandering);
}

TEST(ScanStatistics, AResolutionChangeRestartsTheFiguresAndSaysSo) {
    ScanStatistics stats({.window = 10});
    for (int i = 0; i < 6; ++i) {
        stats.add(turn_of(i * 100, {{5, 100}}, 8192));
    }
    stats.add(turn_of(700, {{5, 50}}, 4096));
    const StatisticsSummary s = stats.summary();
    EXPECT_EQ(s.turns, 1);
    EXPECT_EQ(s.resolution, 4096);
    EXPECT_DOUBLE_EQ(tag(s, 5).angle_mean, 50);
    EXPECT_NE(s.restarted.find("8192 to 4096"), std::string::npos);
    EXPECT_EQ(stats.events().back().kind, EventKind::new_code);
    EXPECT_EQ(count(stats, EventKind::restarted, 0), 1);
    // A frame that sends no resolution keeps the one before: no restart.
    Turn keep = turn_of(800, {{5, 52}});
    keep.resolution.reset();
    stats.add(keep);
    EXPECT_EQ(stats.summary().turns, 2);
}

TEST(ScanStatistics, AZaScannerHasNoTagTableButTurnFigures) {
    ScanStatistics stats;
    stats.set_type(link::ScannerType::za);
    for (int i = 0; i < 5; ++i) {
        stats.add(turn_of(i * 100, {{0, 0}, {0, 0}}, k_r, 30));
    }
    const StatisticsSummary s = stats.summary();
    EXPECT_TRUE(s.tags.empty());
    EXPECT_NE(s.no_tags.find("\"ZA\""), std::string::npos);
    EXPECT_DOUBLE_EQ(s.stripes_per_turn.mean, 2);
    EXPECT_DOUBLE_EQ(s.temperature.mean, 30);
    EXPECT_DOUBLE_EQ(s.turn_rate.mean, 10);
}

TEST(ScanStatistics, EveryCodeAtOnceAndOneCodeOnEveryStripe) {
    ScanStatistics stats({.window = 50});
    std::vector<Tag> all;
    for (int c = 1; c <= 255; ++c) {
        all.push_back({c, c * 30});
    }
    const std::vector<Tag> same(48, Tag{9, 700});
    for (int i = 0; i < 60; ++i) {
        stats.add(turn_of(i * 55, i % 2 == 0 ? all : same));
    }
    const StatisticsSummary s = stats.summary();
    ASSERT_EQ(s.tags.size(), 255U);
    EXPECT_DOUBLE_EQ(tag(s, 9).read_rate, 1.0);
    EXPECT_EQ(tag(s, 9).duplicates, 25);
    EXPECT_DOUBLE_EQ(tag(s, 255).read_rate, 0.5);
    EXPECT_DOUBLE_EQ(tag(s, 255).angle_mean, 255 * 30);
}

// A long run gives the figures a fresh count of its last N turns gives: nothing drifts or
// piles up, also for a tag that creeps all the way round the circle.
TEST(ScanStatistics, ALongRunMatchesAFreshCountOfItsLastTurns) {
    constexpr int k_window = 50;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-3, 3);
    std::bernoulli_distribution missed(0.1);
    std::vector<Turn> turns;
    ScanStatistics running({.window = k_window});
    for (int i = 0; i < 20'000; ++i) {
        std::vector<Tag> tags;
        if (!missed(rng)) {
            tags.push_back({11, 8190 + noise(rng), 45 + noise(rng)});
        }
        tags.push_back({22, (i * 3) % k_r + noise(rng) - 4}); // creeps round
        turns.push_back(turn_of(i * 56, tags));
        running.add(turns.back());
    }
    ScanStatistics fresh({.window = k_window});
    for (std::size_t i = turns.size() - k_window; i < turns.size(); ++i) {
        fresh.add(turns[i]);
    }
    const StatisticsSummary a = running.summary();
    const StatisticsSummary b = fresh.summary();
    for (const int code : {11, 22}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(tag(a, code).seen, tag(b, code).seen);
        EXPECT_LT(circular_distance(tag(a, code).angle_mean, tag(b, code).angle_mean), 1e-6);
        EXPECT_NEAR(tag(a, code).angle_sd, tag(b, code).angle_sd, 1e-6);
        EXPECT_NEAR(tag(a, code).width_sd, tag(b, code).width_sd, 1e-6);
    }
    EXPECT_LT(tag(a, 22).angle_sd, 100); // a creeping tag, not one spread round the circle
    EXPECT_LE(running.events().size(), ScanStatistics::k_kept_events);
}

TEST(ScanStatistics, TrendKeepsTenMinutesOfSecondsWithTheCodesReadRate) {
    ScanStatistics stats({.window = 100});
    // 10 turns a second for 11 minutes; code 6 read in every other turn.
    for (int i = 0; i < 6600; ++i) {
        std::vector<Tag> tags{{6, 10}};
        if (i % 2 == 1) {
            tags.clear();
        }
        stats.add(turn_of(i * 100, tags, k_r, i < 3000 ? 20 : 25));
    }
    const std::vector<TrendPoint> points = stats.trend().points(6);
    ASSERT_EQ(points.size(), 600U);
    EXPECT_EQ(points.front().second, 60);
    EXPECT_EQ(points.back().second, 659);
    EXPECT_DOUBLE_EQ(points.back().read_rate, 0.5);
    EXPECT_DOUBLE_EQ(points.back().temperature, 25);
    ASSERT_TRUE(points.back().turn_rate);
    EXPECT_DOUBLE_EQ(*points.back().turn_rate, 10);
    EXPECT_DOUBLE_EQ(stats.trend().points(99).back().read_rate, 0);
}

TEST(ScanStatistics, ANewWindowSizeStartsAfresh) {
    ScanStatistics stats({.window = 100});
    stats.add(turn_of(0, {{1, 10}}));
    stats.set_window(500'000);
    EXPECT_EQ(stats.settings().window, ScanStatistics::k_largest_window);
    EXPECT_EQ(stats.summary().turns, 0);
    EXPECT_NE(stats.summary().no_tags.find("No turn"), std::string::npos);
}

TEST(StatisticsLayout, CsvHasTheColumnsOfEveryExportWithDecimalPoints) {
    ScanStatistics stats({.window = 4});
    stats.add(turn_of(0, {{12, 8191, 40}}));
    stats.add(turn_of(100, {{12, 1, 43}}));
    stats.add(turn_of(200, {}));
    const std::string csv = statistics_csv(stats.summary());
    EXPECT_EQ(csv, "code,seen,read_rate,duplicates,angle_mean,angle_sd,width_mean,width_sd,"
                   "last_seen\n"
                   "12,2,0.6667,0,0.00,1.41,41.50,2.12,2\n");
    EXPECT_EQ(point_decimal(-0.005, 2), "-0.01");
    EXPECT_EQ(point_decimal(3.14159, 0), "3");
    EXPECT_DOUBLE_EQ(rounded(0.66666, 4), 0.6667);
}

} // namespace
} // namespace trx::service
