// The "Scan quality" window as the technician meets it: opened from the diagnostics menu or
// its key, following the turns the main window shows, at most four repaints a second.
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace trx::quality {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;
using testkit::StatusShape;

constexpr const char* k_tags = "quality.tags";

// Two coded tags; code 22 is missed when `with_22` is false.
std::string turn(bool with_22, std::uint32_t drift = 0) {
    StatusShape s;
    s.ya = true;
    s.stripes = {{100 + drift, 10, 0}, {130 + drift, 10, 11}};
    if (with_22) {
        s.stripes.push_back({2000, 10, 0});
        s.stripes.push_back({2030, 10, 22});
    }
    return testkit::status_frame(s);
}

struct QualityWindow : ::testing::Test {
    Driver d;

    void SetUp() override {
        d.start();
        d.click("main.Toolbar1.comport");
        ASSERT_TRUE(d.port_open());
    }
    void reply(bool ya) {
        d.receive(testkit::parameter_reply(ya));
        (void)d.messages();
    }
    // n turns at 10 a second; code 22 missed in every fourth.
    void turns(int n) {
        for (int i = 0; i < n; ++i) {
            d.receive(turn(i % 4 != 3));
            d.advance(100ms);
        }
    }
};

TEST_F(QualityWindow, OpensFromTheMenuAndShowsTheReadRateOfEveryCode) {
    reply(true);
    EXPECT_FALSE(d.visible("quality"));
    d.choose("main.StatusBar1.diagnostics.scan_quality");
    ASSERT_TRUE(d.visible("quality"));
    EXPECT_EQ(d.text("quality"), "Scan quality");
    EXPECT_EQ(d.cell(k_tags, 0, 0), "code");
    EXPECT_EQ(d.cell(k_tags, 0, 1), "read %");
    EXPECT_EQ(d.cell(k_tags, 1, 0), "") << "no turn yet";
    EXPECT_EQ(d.text("quality.note"), "No turn has been received yet.");

    turns(100);
    EXPECT_EQ(d.cell(k_tags, 1, 0), "11");
    EXPECT_EQ(d.cell(k_tags, 1, 1), "100,0");
    EXPECT_EQ(d.cell(k_tags, 2, 0), "22");
    EXPECT_EQ(d.cell(k_tags, 2, 1), "75,0");
    EXPECT_EQ(d.cell(k_tags, 3, 0), "");
    // Tag 22 ends at 2040 and began at 2000: its middle at 2020, 20 wide, 88.77 degrees.
    EXPECT_EQ(d.cell(k_tags, 2, 3), "2020,0");
    EXPECT_EQ(d.cell(k_tags, 2, 2), "88,77");
    EXPECT_EQ(d.cell(k_tags, 2, 5), "40,0");
    EXPECT_EQ(d.text("quality.turns"), "100 turns, resolution 8192");
    EXPECT_EQ(d.text("quality.turn_rate"), "Turn rate: 10,00 turns/s (10,00 to 10,00)");
}

TEST_F(QualityWindow, RepaintsAtMostFourTimesASecondWhateverTheTurnRate) {
    reply(true);
    d.key("main", testkit::ctrl | testkit::alt, 'S');
    ASSERT_TRUE(d.visible("quality"));
    for (int i = 0; i < 4; ++i) {
        d.receive(turn(true));
        d.advance(10ms); // a burst: 100 turns a second
    }
    EXPECT_EQ(d.cell(k_tags, 1, 0), "") << "not before the next quarter second";
    d.advance(210ms);
    EXPECT_EQ(d.cell(k_tags, 2, 1), "100,0");
    EXPECT_EQ(d.text("quality.turns"),
              "4 turns so far of a window of 100: rates over the turns seen, resolution 8192");
}

TEST_F(QualityWindow, WindowSizeResetAndExportWithTheColumnsOfEveryExport) {
    reply(true);
    d.choose("main.StatusBar1.diagnostics.scan_quality");
    turns(60);
    d.select("quality.window_size", 0); // 50 turns: the figures start afresh
    EXPECT_EQ(d.cell(k_tags, 1, 0), "");
    turns(52);
    d.advance(250ms); // the next repaint
    EXPECT_EQ(d.text("quality.turns"), "50 turns, resolution 8192");
    EXPECT_EQ(d.cell(k_tags, 2, 1), "74,0"); // 37 of the last 50 turns

    const auto path = d.data_folder() / "q.csv";
    d.answer_save_dialog(path.string());
    d.click("quality.cmd_export");
    std::ifstream in(path);
    std::stringstream csv;
    csv << in.rdbuf();
    EXPECT_TRUE(csv.str().starts_with("code,seen,read_rate,duplicates,angle_mean,angle_sd,"
                                      "width_mean,width_sd,last_seen\n11,50,1.0000,0,"))
        << csv.str();
    EXPECT_NE(csv.str().find("\n22,37,0.7400,0,2020.00,0.00,40.00,0.00,"), std::string::npos)
        << csv.str();

    d.click("quality.cmd_reset");
    EXPECT_EQ(d.cell(k_tags, 1, 0), "");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(QualityWindow, AZaScannerHasNoTableAndTheFiguresGoOnWhileTheWindowIsClosed) {
    reply(false);
    StatusShape za;
    za.stripes = {{100, 10}, {300, 20}};
    for (int i = 0; i < 5; ++i) {
        d.receive(testkit::status_frame(za));
        d.advance(100ms);
    }
    d.choose("main.StatusBar1.diagnostics.scan_quality");
    EXPECT_EQ(d.cell(k_tags, 1, 0), "");
    EXPECT_EQ(d.text("quality.note"),
              "A \"ZA\" scanner sends no tag codes; the turn figures still apply.");
    EXPECT_EQ(d.text("quality.stripes"), "Stripes per turn: 2,00 (2,00 to 2,00)");
    d.close("quality");
    EXPECT_FALSE(d.visible("quality"));
    // The main window's own picture and tables are as they were: the extra changes nothing.
    EXPECT_EQ(d.cell("main.data", 1, 1), "100");
    EXPECT_EQ(d.rays("main.map").size(), 2U);
}

} // namespace
} // namespace trx::quality
