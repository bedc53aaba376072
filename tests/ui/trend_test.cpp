// The scan quality window's two models: a table whose rows are tinted and picked, a trend.
#include "ui/trend.hpp"

#include <gtest/gtest.h>

namespace trx::ui {
namespace {

TEST(TagTable, TintsRowsTellsTheViewOnceAndTakesPicksOnlyWhereAPersonCould) {
    Window w("quality", "Scan quality");
    TagTable t(w, "tags", 4, 3, 2);
    int changes = 0;
    auto c = t.changed.connect([&changes] { ++changes; });
    int picks = 0;
    auto p = t.picked.connect([&picks] { ++picks; });

    t.set_row_tint(1, rgb(255, 0, 0));
    EXPECT_EQ(t.row_tint(1), rgb(255, 0, 0));
    EXPECT_EQ(t.row_tint(2), TagTable::k_no_tint);
    EXPECT_EQ(t.row_tint(99), TagTable::k_no_tint) << "outside the table";
    EXPECT_EQ(changes, 1);
    t.set_row_tint(1, rgb(255, 0, 0));
    EXPECT_EQ(changes, 1) << "the same tint tells nothing";
    t.set_drawing(false);
    t.set_row_tint(2, rgb(0, 255, 0));
    EXPECT_EQ(changes, 1) << "drawing off: the view hears of it when drawing is back";

    t.user_pick_row(1);
    EXPECT_EQ(picks, 0) << "the window is not shown";
    w.show();
    t.user_pick_row(2);
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(t.picked_row(), 2);
    t.user_pick_row(0); // the header row
    t.user_pick_row(4); // below the table
    EXPECT_EQ(picks, 1);
    t.set_picked_row(3);
    EXPECT_EQ(picks, 1) << "the logic's own pick raises no event";
    EXPECT_EQ(t.picked_row(), 3);
}

TEST(Trend, HoldsItsSamplesTitleAndRange) {
    Window w("quality", "Scan quality");
    Trend t(w, "trend_read_rate", "Read rate", "%");
    int changes = 0;
    auto c = t.changed.connect([&changes] { ++changes; });
    EXPECT_FALSE(t.range());
    t.set_range(0, 100);
    ASSERT_TRUE(t.range());
    EXPECT_DOUBLE_EQ(t.range()->second, 100);
    t.set_samples({{1, 99.5}, {2, 80}});
    t.set_title("Read rate of code 33");
    t.set_title("Read rate of code 33");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(t.samples().back().value, 80);
    EXPECT_EQ(t.title(), "Read rate of code 33");
}

} // namespace
} // namespace trx::ui
