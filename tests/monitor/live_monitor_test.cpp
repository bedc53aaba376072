// The live monitor as the technician sees it: status frames from the scanner filling the
// labels, the two tag tables and the scan picture.
#include "link/frame.hpp"
#include "monitor/scan_picture.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trx::monitor {
namespace {

using testkit::Driver;
using testkit::StatusShape;
using Row = std::vector<std::string>;

constexpr double k_centre = 5175.0 / 2;

struct LiveMonitorSession : ::testing::Test {
    Driver d;

    void SetUp() override {
        d.start();
        d.click("main.Toolbar1.comport");
        ASSERT_TRUE(d.port_open());
        reply(false);
    }
    // The scanner's parameter set "W": it decides the scanner type and M, and a set wholly
    // in range lets status frames through.
    void reply(bool ya, std::uint16_t max_modul = 100, std::uint16_t speed = 125) {
        d.receive(testkit::parameter_reply(ya, max_modul, speed));
        (void)d.messages();
    }
    void scan(const StatusShape& s) { d.receive(testkit::status_frame(s)); }
    // Columns 1 and up of a row.
    Row row(const char* grid, int r) const {
        const int cols = std::string(grid) == "main.data" ? 6 : 4;
        Row out;
        for (int c = 1; c < cols; ++c) {
            out.push_back(d.cell(grid, r, c));
        }
        return out;
    }
    std::vector<Row> rows(const char* grid, int from, int to) const {
        std::vector<Row> out;
        for (int r = from; r <= to; ++r) {
            out.push_back(row(grid, r));
        }
        return out;
    }
    std::vector<double> ray_ends_x() const { // end x of every ray, in drawing order
        std::vector<double> xs;
        for (const auto& s : d.rays("main.map")) {
            xs.push_back(s.x2);
        }
        return xs;
    }
    static double ray_x(std::int64_t angle, std::int64_t r = 8192) {
        return ray_end({k_centre, k_centre}, angle, r).x;
    }
};

TEST_F(LiveMonitorSession, WorkedExampleFillsLabelsTablesAndPicture) {
    d.receive("\x02S1FFF9300010100002002000010"
              "89\x03");
    EXPECT_EQ(d.text("main.inkremente"), "8192");
    EXPECT_EQ(d.text("main.temperature"), "20");
    EXPECT_EQ(d.program().shared().status_word, 1); // speed OK
    d.advance(std::chrono::milliseconds(1));        // Timer3 shows the status word
    EXPECT_TRUE(d.checked("main.speed_ok"));
    EXPECT_FALSE(d.checked("main.temp_low"));
    EXPECT_EQ(rows("main.data", 0, 5), (std::vector<Row>{
                                           {"angle", "flag", "width", "", ""},
                                           {"256", "+", "", "", ""},
                                           {"288", "-", "32", "", ""},
                                           {"512", "+", "224", "", ""},
                                           {"528", "-", "16", "", ""},
                                           {"", "", "", "", ""},
                                       }));
    EXPECT_EQ(row("main.data2", 0), (Row{"angle", "tag width", "code"}));
    EXPECT_EQ(row("main.data2", 1), (Row{"", "", ""}));
    EXPECT_EQ(d.cell("main.data2", 1, 0), "1");
    EXPECT_TRUE(d.drawing("main.data"));
    EXPECT_TRUE(d.drawing("main.data2"));

    const auto rays = d.rays("main.map");
    ASSERT_EQ(rays.size(), 2U);
    for (const auto& r : rays) {
        EXPECT_EQ(r.rgb, 0xFF0000U);
        EXPECT_DOUBLE_EQ(r.x1, k_centre);
        EXPECT_DOUBLE_EQ(r.y1, k_centre);
    }
    EXPECT_DOUBLE_EQ(rays[0].x2, ray_x(256));
    EXPECT_DOUBLE_EQ(rays[1].x2, ray_x(512));
}

TEST_F(LiveMonitorSession, FrameWithoutStripesEmptiesTablesAndPicture) {
    StatusShape s;
    s.stripes = {{100, 10}, {200, 10}, {300, 10}};
    scan(s);
    s.stripes.clear();
    s.temperature = -5;
    s.resolution = 16384;
    const std::string frame = testkit::status_frame(s);
    ASSERT_EQ(frame.size(), 15U); // receive count 13, plus STX and ETX
    d.receive(frame);
    EXPECT_EQ(d.text("main.inkremente"), "16384");
    EXPECT_EQ(d.text("main.temperature"), "-5");
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(row("main.data", r), (Row{"", "", "", "", ""})) << "row " << r;
    }
    EXPECT_EQ(d.cell("main.data", 0, 1), "angle");
    EXPECT_EQ(d.cell("main.data", 30, 0), "30");
    EXPECT_TRUE(d.rays("main.map").empty());
}

TEST_F(LiveMonitorSession, ResolutionFieldZeroKeepsTheShownResolution) {
    StatusShape s;
    s.resolution = 65536;
    s.stripes = {{65000, 1000}};
    scan(s);
    EXPECT_EQ(d.text("main.inkremente"), "65536");
    EXPECT_EQ(d.cell("main.data", 2, 1), "464"); // wrapped at 65536
    s.resolution = 0;
    scan(s);
    EXPECT_EQ(d.text("main.inkremente"), "65536");
    EXPECT_EQ(d.cell("main.data", 2, 1), "464");
}

TEST_F(LiveMonitorSession, RowsBeyondTheScanAreEmptyAndOnlyRowsInViewAreNumbered) {
    StatusShape s;
    s.stripes = {{100, 10}, {200, 10}, {300, 10}};
    scan(s);
    EXPECT_EQ(d.cell("main.data", 6, 1), "310");
    EXPECT_EQ(row("main.data", 7), (Row{"", "", "", "", ""}));
    EXPECT_EQ(d.cell("main.data", 1, 0), "1");
    EXPECT_EQ(d.cell("main.data", 30, 0), "30");
    EXPECT_EQ(d.cell("main.data", 31, 0), "");

    d.scroll("main.data", 100);
    EXPECT_EQ(d.cell("main.data", 100, 0), "100");
    EXPECT_EQ(d.cell("main.data", 129, 0), "129");
    EXPECT_EQ(d.cell("main.data", 130, 0), "");
    EXPECT_EQ(d.program().main_form().data.current_row(), 129);
    EXPECT_EQ(d.program().main_form().data.current_col(), 0);
    EXPECT_EQ(d.cell("main.data2", 100, 0), ""); // each grid numbers only itself

    scan(s); // the next rebuild numbers the rows in view from the top row shown
    EXPECT_EQ(d.cell("main.data", 1, 0), "");
    EXPECT_EQ(d.cell("main.data", 100, 0), "100");
    EXPECT_EQ(d.cell("main.data2", 1, 0), "1");
}

// A rebuild, whatever its size, costs a grid's view one refresh.
TEST_F(LiveMonitorSession, ViewsAreToldOncePerScanAndPerScroll) {
    int data_refreshes = 0;
    int data2_refreshes = 0;
    const auto c1 = d.program().main_form().data.changed.connect([&] { ++data_refreshes; });
    const auto c2 = d.program().main_form().data2.changed.connect([&] { ++data2_refreshes; });
    reply(true);
    StatusShape s;
    s.ya = true;
    for (std::uint32_t i = 0; i < 48; ++i) {
        s.stripes.push_back({i * 150, 40, i + 1});
    }
    scan(s);
    EXPECT_EQ(data_refreshes, 1);
    EXPECT_EQ(data2_refreshes, 1);
    EXPECT_EQ(d.cell("main.data2", 48, 3), "48");
    d.scroll("main.data", 40); // the new top row and its numbers, not one per number
    EXPECT_LE(data_refreshes, 3);
    EXPECT_EQ(d.cell("main.data", 69, 0), "69");
    EXPECT_TRUE(d.drawing("main.data"));
}

// "YA": coded stripes get tag rows in frame order; stripe 1's tag width, tag angle and gap
// come from the completion after the last stripe, and its tag ray is drawn last.
TEST_F(LiveMonitorSession, YaScanFillsTagRowsAndCompletesStripeOne) {
    reply(true);
    StatusShape s;
    s.ya = true;
    s.stripes = {{10, 20, 5}, {60, 10, 0}, {100, 20, 9}, {8150, 30, 0}};
    scan(s);
    EXPECT_EQ(rows("main.data", 0, 8), (std::vector<Row>{
                                           {"angle", "flag", "width", "tag width", "code"},
                                           {"10", "+", "22", "", ""},
                                           {"30", "-", "20", "72", "5"},
                                           {"60", "+", "30", "", ""},
                                           {"70", "-", "10", "", ""},
                                           {"100", "+", "30", "", ""},
                                           {"120", "-", "20", "60", "9"},
                                           {"8150", "+", "", "", ""}, // gap 8030 >= M
                                           {"8180", "-", "30", "", ""},
                                       }));
    EXPECT_EQ(rows("main.data2", 1, 3), (std::vector<Row>{
                                            {"8186", "72", "5"},
                                            {"90", "60", "9"},
                                            {"", "", ""},
                                        }));
    EXPECT_EQ(ray_ends_x(), (std::vector<double>{ray_x(10), ray_x(60), ray_x(100), ray_x(8150)}));

    d.click("main.Check1");
    scan(s);
    EXPECT_EQ(ray_ends_x(), (std::vector<double>{ray_x(90), ray_x(8186)}));
}

TEST_F(LiveMonitorSession, Check1SwitchesTheVisibleTableAndTheRaysOfLaterScans) {
    reply(true);
    d.click("main.Check1");
    EXPECT_TRUE(d.checked("main.Check1"));
    EXPECT_FALSE(d.visible("main.data"));
    EXPECT_TRUE(d.visible("main.data2"));
    d.click("main.Check1");
    EXPECT_TRUE(d.visible("main.data"));
    EXPECT_FALSE(d.visible("main.data2"));

    // Checked under "YA", then a "ZA" reply hides the filter: data2 stays, and no ray shows.
    reply(true);
    d.click("main.Check1");
    reply(false);
    StatusShape s;
    s.stripes = {{100, 10}, {200, 10}};
    scan(s);
    EXPECT_TRUE(d.checked("main.Check1"));
    EXPECT_TRUE(d.visible("main.data2"));
    EXPECT_FALSE(d.visible("main.data"));
    EXPECT_EQ(d.cell("main.data", 3, 1), "200");
    EXPECT_EQ(row("main.data2", 1), (Row{"", "", ""}));
    EXPECT_TRUE(d.rays("main.map").empty());
    d.click("main.Check1"); // out of reach while the filter frame is hidden
    EXPECT_TRUE(d.checked("main.Check1"));
}

TEST_F(LiveMonitorSession, RaysPointUpLeftDownAndRight) {
    StatusShape s;
    s.stripes = {{0, 1}, {2048, 1}, {4096, 1}, {6144, 1}};
    scan(s);
    const auto rays = d.rays("main.map");
    ASSERT_EQ(rays.size(), 4U);
    const double c = k_centre;
    const double l = 2500;
    const std::vector<std::pair<double, double>> want = {
        {c, c - l}, {c - l, c}, {c, c + l}, {c + l, c}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(rays[i].x2, want[i].first, 1e-3) << "ray " << i;
        EXPECT_NEAR(rays[i].y2, want[i].second, 1e-3) << "ray " << i;
    }
    // A tag angle below zero lands where the same angle one turn up does.
    const Point a = ray_end({c, c}, -2048, 8192);
    EXPECT_NEAR(a.x, rays[3].x2, 1e-3);
    EXPECT_NEAR(a.y, rays[3].y2, 1e-3);
}

// R has never been shown: the fault comes at stripe 1's end angle. The edge row written so
// far stays, without headers or numbers, no ray is drawn, and drawing is on again.
TEST_F(LiveMonitorSession, FaultWithoutResolutionKeepsThePartialFirstRow) {
    StatusShape s;
    s.resolution = 0;
    s.temperature = 31;
    s.stripes = {{256, 32}, {512, 16}};
    scan(s);
    EXPECT_EQ(d.text("main.inkremente"), "");
    EXPECT_EQ(d.text("main.temperature"), "31");
    EXPECT_EQ(row("main.data", 1), (Row{"256", "+", "", "", ""}));
    EXPECT_EQ(row("main.data", 2), (Row{"", "", "", "", ""}));
    EXPECT_EQ(row("main.data", 0), (Row{"", "", "", "", ""}));
    EXPECT_EQ(d.cell("main.data", 1, 0), "");
    EXPECT_EQ(row("main.data2", 0), (Row{"", "", ""}));
    EXPECT_TRUE(d.drawing("main.data"));
    EXPECT_TRUE(d.drawing("main.data2"));
    EXPECT_TRUE(d.rays("main.map").empty());

    s.resolution = 8192; // the next frame is decoded in full
    scan(s);
    EXPECT_EQ(d.cell("main.data", 0, 1), "angle");
    EXPECT_EQ(d.cell("main.data", 1, 0), "1");
    EXPECT_EQ(d.cell("main.data", 4, 1), "528");
    EXPECT_EQ(d.rays("main.map").size(), 2U);
}

// M is not a number: under "YA" the fault comes at stripe 2's gap. Stripe 1 stays shown,
// with its tag row not yet completed; stripe 2 has only its edge written.
TEST_F(LiveMonitorSession, FaultWithoutMStopsAtTheSecondGap) {
    // A max. modul width out of range, twice: the second "?" stays in the box because the
    // spinner already holds 0. The scanner's acknowledgement of a store then opens the live
    // display again with that box holding no number.
    reply(true, 1000);
    reply(true, 1000);
    ASSERT_EQ(d.text("para.max_modul_angle_anz"), "?");
    (void)d.messages();
    d.receive(link::build_frame('P', ""));
    StatusShape s;
    s.ya = true;
    s.stripes = {{10, 20, 5}, {100, 10, 0}, {200, 10, 3}};
    scan(s);
    EXPECT_EQ(rows("main.data", 1, 4), (std::vector<Row>{
                                           {"10", "+", "", "", ""},
                                           {"30", "-", "20", "", "5"},
                                           {"100", "+", "", "", ""},
                                           {"", "", "", "", ""},
                                       }));
    EXPECT_EQ(row("main.data2", 1), (Row{"", "", "5"}));
    EXPECT_EQ(row("main.data2", 2), (Row{"", "", ""}));
    EXPECT_EQ(d.cell("main.data", 0, 1), "");
    EXPECT_EQ(d.cell("main.data2", 1, 0), "");
    EXPECT_TRUE(d.drawing("main.data"));
    EXPECT_TRUE(d.drawing("main.data2"));
    EXPECT_EQ(ray_ends_x(), (std::vector<double>{ray_x(10)}));

    reply(true);
    scan(s);
    EXPECT_EQ(d.cell("main.data", 6, 5), "3");
    EXPECT_EQ(row("main.data2", 1), (Row{"4211", "8022", "5"}));
}

// A record that would reach into the checksum digits and the bytes an earlier, longer frame
// left in the buffer is not shown.
TEST_F(LiveMonitorSession, ATrailingPartRecordIsNotShown) {
    StatusShape s;
    for (std::uint32_t i = 0; i < 10; ++i) {
        s.stripes.push_back({i * 500, 20});
    }
    scan(s);
    d.receive(link::build_frame('S', "1FFF930001"
                                     "01000020"
                                     "020000"));
    EXPECT_EQ(row("main.data", 2), (Row{"288", "-", "32", "", ""}));
    EXPECT_EQ(row("main.data", 3), (Row{"", "", "", "", ""}));
    EXPECT_EQ(d.rays("main.map").size(), 1U);
}

TEST_F(LiveMonitorSession, StatusFramesWaitForAValidSetAndAHiddenParameterWindow) {
    StatusShape s;
    s.stripes = {{100, 10}};
    auto ignored = [&s](Driver& on, const char* why) {
        on.receive(testkit::status_frame(s));
        EXPECT_EQ(on.timer_tag("main.Timer1"), "online") << why;
        EXPECT_EQ(on.text("main.inkremente"), "") << why;
        EXPECT_EQ(on.cell("main.data", 1, 1), "") << why;
        EXPECT_TRUE(on.rays("main.map").empty()) << why;
    };
    Driver before_any_reply;
    before_any_reply.start();
    before_any_reply.click("main.Toolbar1.comport");
    ignored(before_any_reply, "no parameter set received");

    d.program().para_form().window.show();
    ignored(d, "parameter window shown");
    d.program().para_form().window.hide();
    reply(false, 100, 200); // speed 20.0 turns/sec is out of range
    ignored(d, "parameter set not valid");
    reply(false);
    scan(s);
    EXPECT_EQ(d.cell("main.data", 1, 1), "100");
}

} // namespace
} // namespace trx::monitor
