// Old data never looks live: after the port closes, the link goes offline or a replay ends,
// the main window keeps the last scan but marks it old until the next status frame.
#include "main/stale_data.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace trx::main {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;
using testkit::StatusShape;

constexpr const char* k_port = "main.Toolbar1.comport";
constexpr const char* k_views[] = {"main.data",        "main.data2",     "main.map",
                                   "main.speed_ok",    "main.temp_low",  "main.heater_activ",
                                   "main.temperature", "main.inkremente"};

struct StaleData : ::testing::Test {
    Driver d;

    void SetUp() override {
        ::setenv("TZ", "UTC", 1); // the note's time of day, known in advance
        ::tzset();
        d.start();
    }
    void open_and_scan() {
        d.click(k_port);
        ASSERT_TRUE(d.port_open());
        d.receive(testkit::parameter_reply(false));
        (void)d.messages();
        scan();
    }
    void scan() {
        StatusShape s;
        s.temperature = 31;
        s.status_word = 5; // speed OK, heater
        s.stripes = {{100, 20, 0}, {900, 30, 0}};
        d.receive(testkit::status_frame(s));
    }
    void expect_views(bool stale) {
        for (const char* v : k_views) {
            EXPECT_EQ(d.stale(v), stale) << v;
        }
    }
};

TEST_F(StaleData, NothingIsMarkedBeforeTheFirstFrameNorWhileFramesComeIn) {
    d.advance(1200ms); // panel 1 says "offline", yet there is nothing old to mark
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "offline");
    expect_views(false);
    EXPECT_FALSE(d.visible("main.stale_note"));

    open_and_scan();
    for (int i = 0; i < 6; ++i) {
        d.advance(200ms);
        scan();
    }
    expect_views(false);
    EXPECT_FALSE(d.visible("main.stale_note"));
}

TEST_F(StaleData, ClosingThePortMarksTheLastScanOldAtOnceAndKeepsItsValues) {
    d.advance(3s);
    open_and_scan(); // 09:30:03
    d.advance(2500ms);
    scan(); // 09:30:05.5, the last one
    d.advance(300ms);
    d.click(k_port);

    expect_views(true);
    EXPECT_TRUE(d.visible("main.stale_note"));
    EXPECT_EQ(d.text("main.stale_note"), "No live data since 09:30:05");
    // The values stay as they were: old, not gone.
    EXPECT_TRUE(d.checked("main.speed_ok"));
    EXPECT_TRUE(d.checked("main.heater_activ"));
    EXPECT_EQ(d.text("main.temperature"), "31");
    EXPECT_NE(d.cell("main.data", 1, 1), "");
    EXPECT_FALSE(d.rays("main.map").empty());
    // Controls that hold no scanner data are never marked.
    EXPECT_FALSE(d.stale("main.Check1"));
    EXPECT_FALSE(d.stale("main.Frame1"));
    EXPECT_THROW((void)d.stale("main.no_such_control"), std::out_of_range);

    // The supervision going on does not move the time of the last live data.
    d.advance(5s);
    EXPECT_EQ(d.text("main.stale_note"), "No live data since 09:30:05");

    // Open again: old until the first status frame is shown.
    d.click(k_port);
    d.advance(600ms);
    expect_views(true);
    scan();
    expect_views(false);
    EXPECT_FALSE(d.visible("main.stale_note"));
}

TEST_F(StaleData, ALinkThatGoesSilentMarksTheViewsAtTheNextSupervisionTick) {
    open_and_scan();
    d.advance(499ms); // a good frame arrived since the last tick: online
    scan();
    d.advance(500ms);
    expect_views(false);
    d.advance(500ms); // a whole interval without a frame: offline
    EXPECT_EQ(d.panel("main.StatusBar1", 1), "offline");
    EXPECT_TRUE(d.port_open());
    expect_views(true);
    EXPECT_EQ(d.text("main.stale_note"), "No live data since 09:30:00");
}

// A frame the window does not decode (the parameter window is shown) does not make the old
// scan live: the views still show it.
TEST_F(StaleData, AFrameThatIsNotShownLeavesTheViewsOld) {
    open_and_scan();
    d.click(k_port);
    expect_views(true);
    d.click(k_port);
    d.program().para_form().window.show();
    scan();
    expect_views(true);
}

TEST(LocalTimeOfDay, IsTwoDigitsEachInTheComputersZone) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const auto t = std::chrono::sys_days{std::chrono::year{2026} / 1 / 2} + 7h + 5min + 9s;
    EXPECT_EQ(local_time_of_day(t), "07:05:09");
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(local_time_of_day(t), "08:05:09");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

} // namespace
} // namespace trx::main
