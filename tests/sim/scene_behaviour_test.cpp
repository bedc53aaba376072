// Tags that misbehave on purpose: missed in a share of the turns, wandering, vanishing.
#include "sim/scene.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace trx::sim {
namespace {

constexpr std::int32_t k_r = 8192;

int count_code(const std::vector<Record>& recs, std::uint8_t code) {
    return static_cast<int>(std::count_if(recs.begin(), recs.end(),
                                          [code](const Record& r) { return r.code == code; }));
}

TEST(SceneBehaviour, KeywordsAreReadAndAppliedToTheBuiltInStripes) {
    const auto r = parse_scene("jitter 0\nmiss 22 0.25\nwander 33 1.5\nvanish 44 2,5\n"
                               "miss 33 0\n");
    ASSERT_TRUE(r.scene) << r.error;
    EXPECT_EQ(r.scene->stripes, default_scene().stripes);
    EXPECT_EQ(r.scene->jitter, 0);
    ASSERT_EQ(r.scene->behaviours.size(), 3U);
    EXPECT_EQ(r.scene->behaviours[0].miss_milli, 250);
    EXPECT_EQ(r.scene->behaviours[1].wander_mdeg, 1500);
    EXPECT_EQ(r.scene->behaviours[2].vanish_after_ms, 2500);

    const std::pair<std::string_view, std::string_view> bad[] = {
        {"miss 22 1.5\n", "line 1: miss takes a share from 0 to 1"},
        {"miss 0 0.5\n", "line 1: a tag's code"},
        {"wander 22 180\n", "line 1: wander takes degrees"},
        {"vanish 22 -1\n", "line 1: vanish takes seconds"},
        {"vanish 22\n", "line 1: vanish needs CODE and a value"},
        {"miss 99 0.5\n", "no tag with code 99 in the scene"},
    };
    for (const auto& [text, error] : bad) {
        const auto got = parse_scene(text);
        EXPECT_FALSE(got.scene) << text;
        EXPECT_EQ(got.error.substr(0, error.size()), error) << got.error;
    }
}

TEST(SceneBehaviour, AMissedTagLosesBothStripesInExactlyItsShareOfAnyRunOfTurns) {
    Scene s = *parse_scene("jitter 0\nmiss 22 0.2\n").scene;
    std::mt19937 rng(1);
    const std::size_t whole = scene_records(s, k_r, ScannerType::ya).size();
    std::vector<bool> seen;
    for (int turn = 0; turn < 1000; ++turn) {
        const auto recs = turn_records(s, k_r, ScannerType::ya, rng, {turn, turn * 100});
        const bool there = count_code(recs, 22) == 1;
        EXPECT_EQ(recs.size(), there ? whole : whole - 2) << "a tag goes with both its stripes";
        EXPECT_EQ(count_code(recs, 11), 1);
        seen.push_back(there);
    }
    for (const std::size_t from : {0UL, 137UL, 500UL}) {
        const auto missed = std::count(seen.begin() + static_cast<long>(from),
                                       seen.begin() + static_cast<long>(from) + 100, false);
        EXPECT_NEAR(static_cast<double>(missed), 20, 1) << "from turn " << from;
    }
}

TEST(SceneBehaviour, AVanishingTagGoesAtItsTimeAndAWanderingOneMovesWhole) {
    Scene s = *parse_scene("jitter 0\nvanish 44 2\nwander 11 1\n").scene;
    std::mt19937 rng(3);
    const auto still = scene_records(s, k_r, ScannerType::ya);
    const auto at = [&](std::uint8_t code, const std::vector<Record>& recs) {
        return std::find_if(recs.begin(), recs.end(),
                            [code](const Record& r) { return r.code == code; });
    };
    const std::int32_t home = at(11, still)->start;
    const std::int32_t spread = 1 * k_r / 360 + 1; // one degree in increments, rounded up
    bool moved = false;
    for (int turn = 0; turn < 60; ++turn) {
        const std::int64_t ms = turn * 100;
        const auto recs = turn_records(s, k_r, ScannerType::ya, rng, {turn, ms});
        EXPECT_EQ(count_code(recs, 44), ms < 2000 ? 1 : 0) << ms;
        const auto tag = at(11, recs);
        ASSERT_NE(tag, recs.end());
        std::int32_t d = tag->start - home;
        d = d > k_r / 2 ? d - k_r : (d < -k_r / 2 ? d + k_r : d);
        EXPECT_LE(std::abs(d), spread);
        moved = moved || d != 0;
        EXPECT_EQ(recs.size(), still.size() - (ms < 2000 ? 0 : 2));
    }
    EXPECT_TRUE(moved);
}

} // namespace
} // namespace trx::sim
