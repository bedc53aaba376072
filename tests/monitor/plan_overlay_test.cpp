// The scan picture's extras as the technician asks for them in its context menu: what each
// adds to the picture, that nothing is added unless asked, and that the choice is kept.
#include "monitor/plan_overlay.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace trx::monitor {
namespace {

using testkit::Driver;
using testkit::DriverOptions;
using testkit::StatusShape;

constexpr double k_centre = 5175.0 / 2;

std::vector<std::string> texts(const ui::PlanDrawing& d) {
    std::vector<std::string> out;
    for (const auto& l : d.labels) {
        out.push_back(l.text);
    }
    return out;
}

struct PlanExtrasSession : ::testing::Test {
    std::filesystem::path config =
        std::filesystem::temp_directory_path() /
        ("trx-plan-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::unique_ptr<Driver> d;

    void SetUp() override {
        std::filesystem::remove_all(config);
        start();
    }
    void TearDown() override {
        d.reset();
        std::filesystem::remove_all(config);
    }
    void start() {
        d.reset();
        DriverOptions o;
        o.config_folder = config;
        d = std::make_unique<Driver>(o);
        d->start();
        d->click("main.Toolbar1.comport");
        d->receive(testkit::parameter_reply(true));
        (void)d->messages();
    }
    ui::PlanExtras& extras() { return d->program().plan_extras(); }
    const ui::PlanDrawing& drawing() { return extras().drawing(); }
    // A "YA" turn at resolution 8000: stripe 1 plain at 0, stripes 2 (code 7) and 3 (code 9).
    void scan(std::uint32_t first_start = 0) {
        StatusShape s;
        s.resolution = 8000;
        s.ya = true;
        s.stripes = {{first_start, 20, 0}, {2000, 20, 7}, {4000, 20, 9}};
        d->receive(testkit::status_frame(s));
    }
    std::string file_line() {
        std::ifstream in(config / PlanOverlay::k_file_name);
        std::string line;
        std::getline(in, line);
        return line;
    }
};

TEST_F(PlanExtrasSession, NothingIsAddedOrWrittenUntilAsked) {
    scan();
    EXPECT_TRUE(drawing().empty());
    for (const auto& item : extras().items()) {
        EXPECT_FALSE(item.checked) << item.key;
    }
    // The wheel and a picked row change nothing while their items are off.
    extras().user_wheel(3);
    extras().user_pick("data", 3);
    EXPECT_TRUE(drawing().empty());
    EXPECT_FALSE(std::filesystem::exists(config / PlanOverlay::k_file_name));
}

TEST_F(PlanExtrasSession, TicksMarkTheFourQuartersWhereTheRaysEnd) {
    extras().user_toggle("ticks");
    ASSERT_EQ(drawing().ticks.size(), 4U);
    EXPECT_EQ(texts(drawing()), (std::vector<std::string>{"0°", "90°", "180°", "270°"}));
    // 0° points up, 90° to the left (angles grow counter-clockwise), as the rays do.
    EXPECT_NEAR(drawing().ticks[0].x2, k_centre, 1e-3);
    EXPECT_NEAR(drawing().ticks[0].y2, k_centre - k_ray_length, 1e-3);
    EXPECT_NEAR(drawing().ticks[1].x2, k_centre - k_ray_length, 1e-3);
    EXPECT_NEAR(drawing().labels[2].y, k_centre + PlanOverlay::k_angle_label_radius, 1e-3);
    // Inside the picture: a label outside it would not be seen.
    for (const auto& l : drawing().labels) {
        EXPECT_GT(l.x, 0);
        EXPECT_LT(l.x, 5175);
    }
}

TEST_F(PlanExtrasSession, CodesStandAtTheRaysThePictureShows) {
    scan();
    extras().user_toggle("codes"); // at once, on the turn shown
    // Unfiltered: one ray per stripe, the codes of the coded ones.
    ASSERT_EQ(texts(drawing()), (std::vector<std::string>{"7", "9"}));
    const Point at_2000 = at_degrees({k_centre, k_centre}, 90, PlanOverlay::k_code_label_radius);
    EXPECT_NEAR(drawing().labels[0].x, at_2000.x, 1e-3);
    EXPECT_NEAR(drawing().labels[0].y, at_2000.y, 1e-3);
    // Filtered: on the rays at the tags' angles, which the picture draws then.
    d->click("main.Check1");
    scan();
    ASSERT_EQ(texts(drawing()), (std::vector<std::string>{"7", "9"}));
    const auto rays = d->rays("main.map");
    ASSERT_EQ(rays.size(), 2U);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const double lx = drawing().labels[i].x - k_centre;
        const double ly = drawing().labels[i].y - k_centre;
        const double rx = rays[i].x2 - k_centre;
        const double ry = rays[i].y2 - k_centre;
        EXPECT_NEAR(lx * ry - ly * rx, 0, 1e-3 * k_ray_length) << "beside ray " << i;
        EXPECT_GT(lx * rx + ly * ry, 0) << "on the ray's side " << i;
        EXPECT_NEAR(std::hypot(lx, ly), PlanOverlay::k_code_label_radius, 1e-3);
    }
    EXPECT_GT(std::abs(drawing().labels[0].x - at_2000.x), 1);
}

TEST_F(PlanExtrasSession, PickedRowDrawsItsRayAndFollowsTheTable) {
    extras().user_toggle("selected");
    scan();
    extras().user_pick("data", 3); // stripe 2's edge row: its start at a quarter turn
    ASSERT_TRUE(drawing().selected.has_value());
    EXPECT_NEAR(drawing().selected->x2, k_centre - k_ray_length, 1e-3);
    EXPECT_NEAR(drawing().selected->y2, k_centre, 1e-3);
    EXPECT_NE(drawing().selected->rgb, k_ray_colour);
    extras().user_pick("data", 6); // stripe 3's end row
    ASSERT_TRUE(drawing().selected.has_value());
    EXPECT_NEAR(drawing().selected->y2, k_centre + k_ray_length, 1e-3);
    // Rows past the last stripe, and a row of the table not shown, draw nothing.
    extras().user_pick("data", 7);
    EXPECT_FALSE(drawing().selected.has_value());
    extras().user_pick("data2", 1);
    EXPECT_FALSE(drawing().selected.has_value());
    // With the filter on, a tag row's ray is the one at the tag's angle, as the picture's.
    d->click("main.Check1");
    scan();
    extras().user_pick("data2", 2);
    ASSERT_TRUE(drawing().selected.has_value());
    const auto rays = d->rays("main.map");
    ASSERT_EQ(rays.size(), 2U);
    EXPECT_NEAR(drawing().selected->x2, rays[1].x2, 1e-3);
    EXPECT_NEAR(drawing().selected->y2, rays[1].y2, 1e-3);
}

TEST_F(PlanExtrasSession, HistoryKeepsTheTenTurnsBeforeTheCurrentOne) {
    extras().user_toggle("history");
    scan(100);
    EXPECT_TRUE(drawing().behind.empty()); // only the current turn so far
    for (std::uint32_t turn = 1; turn <= 15; ++turn) {
        scan(100 + turn);
    }
    // Three rays a turn, ten turns behind the current one (stripe 1 at 115): from 105 on.
    ASSERT_EQ(drawing().behind.size(), 30U);
    const Point oldest = ray_end({k_centre, k_centre}, 105, 8000);
    EXPECT_NEAR(drawing().behind[0].x2, oldest.x, 1e-3);
    const std::uint32_t faint = drawing().behind[0].rgb;
    EXPECT_NE(faint, k_ray_colour);
    EXPECT_NE(faint, ui::rgb(224, 224, 224));
    // Switched off and on again, the old turns are not shown once more.
    extras().user_toggle("history");
    extras().user_toggle("history");
    scan(200);
    EXPECT_TRUE(drawing().behind.empty());
}

TEST_F(PlanExtrasSession, WheelZoomsOnlyWhileAskedAndWithinBounds) {
    extras().user_toggle("zoom");
    extras().user_wheel(2);
    EXPECT_NEAR(drawing().zoom, PlanOverlay::k_zoom_step * PlanOverlay::k_zoom_step, 1e-9);
    extras().user_wheel(-10);
    EXPECT_EQ(drawing().zoom, 1);
    extras().user_wheel(100);
    EXPECT_EQ(drawing().zoom, PlanOverlay::k_zoom_max);
    extras().user_toggle("zoom");
    EXPECT_EQ(drawing().zoom, 1);
    EXPECT_TRUE(drawing().empty());
}

TEST_F(PlanExtrasSession, TheChoiceIsKeptInTheConfigFolder) {
    extras().user_toggle("ticks");
    extras().user_toggle("history");
    EXPECT_EQ(file_line(), "ticks history");
    start();
    EXPECT_TRUE(extras().checked("ticks"));
    EXPECT_TRUE(extras().checked("history"));
    EXPECT_FALSE(extras().checked("codes"));
    EXPECT_EQ(drawing().ticks.size(), 4U); // drawn from the start, before any turn
    extras().user_toggle("ticks");
    extras().user_toggle("history");
    EXPECT_EQ(file_line(), "");
    start();
    EXPECT_TRUE(drawing().empty());
}

TEST_F(PlanExtrasSession, AFileFromAnotherVersionGivesTheItemsThisOneKnows) {
    std::filesystem::create_directories(config);
    std::ofstream(config / PlanOverlay::k_file_name) << "sparkles codes  zoom\n";
    start();
    EXPECT_TRUE(extras().checked("codes"));
    EXPECT_TRUE(extras().checked("zoom"));
    EXPECT_FALSE(extras().checked("sparkles"));
    // An unknown item toggled is not one to keep.
    extras().user_toggle("sparkles");
    EXPECT_EQ(file_line(), "sparkles codes  zoom");
}

TEST(PlanGeometry, BlendGoesFromBackgroundToColour) {
    EXPECT_EQ(blend(ui::rgb(255, 0, 0), ui::rgb(0, 0, 255), 0), ui::rgb(0, 0, 255));
    EXPECT_EQ(blend(ui::rgb(255, 0, 0), ui::rgb(0, 0, 255), 1), ui::rgb(255, 0, 0));
    EXPECT_EQ(blend(ui::rgb(200, 100, 0), ui::rgb(0, 100, 200), 0.25), ui::rgb(50, 100, 150));
    EXPECT_EQ(blend(ui::rgb(200, 100, 0), ui::rgb(0, 100, 200), 7), ui::rgb(200, 100, 0));
}

TEST(PlanGeometry, DegreesAgreeWithTheRaysIncrements) {
    const Point c{1000, 1000};
    for (const std::int64_t angle : {0, 1000, 2047, 5000, 8191}) {
        const Point a = at_degrees(c, static_cast<double>(angle) * 360 / 8192, k_ray_length);
        const Point b = ray_end(c, angle, 8192);
        EXPECT_NEAR(a.x, b.x, 1e-3) << angle;
        EXPECT_NEAR(a.y, b.y, 1e-3) << angle;
    }
}

} // namespace
} // namespace trx::monitor
