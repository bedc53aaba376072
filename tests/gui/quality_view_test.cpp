// The "Scan quality" window on screen: rows tinted by read rate, trends drawn with QPainter,
// a click on a row picks the code the read-rate trend follows.
#include "qt/quality_view.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include "tests/qt_wait.hpp"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;
using trx::test::ensure_application;

// Pixels of the image that are (near) this colour.
int count_near(const QImage& image, QColor c, int tolerance) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            n += std::abs(p.red() - c.red()) <= tolerance &&
                         std::abs(p.green() - c.green()) <= tolerance &&
                         std::abs(p.blue() - c.blue()) <= tolerance
                     ? 1
                     : 0;
        }
    }
    return n;
}

TEST(QualityView, TintsTheRowOfAMissedTagAndDrawsItsTrend) {
    ensure_application();
    Driver d;
    d.start();
    QualityView view(d.program().quality_form());
    d.click("main.Toolbar1.comport");
    d.receive(testkit::parameter_reply(true));
    (void)d.messages();
    d.choose("main.StatusBar1.diagnostics.scan_quality");
    ASSERT_TRUE(view.isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (int i = 0; i < 40; ++i) { // 4 seconds: code 22 missed in every other turn
        testkit::StatusShape s;
        s.ya = true;
        s.stripes = {{100, 10, 0}, {130, 10, 11}};
        if (i % 2 == 0) {
            s.stripes.push_back({2000, 10, 0});
            s.stripes.push_back({2030, 10, 22});
        }
        d.receive(testkit::status_frame(s));
        d.advance(100ms);
    }
    QApplication::processEvents();
    EXPECT_EQ(d.cell("quality.tags", 2, 1), "50,0");
    const QImage table = view.tags()->grab().toImage();
    EXPECT_GT(count_near(table, QColor(255, 190, 190), 2), 100) << "the red row of code 22";
    EXPECT_EQ(count_near(table, QColor(255, 225, 150), 2), 0) << "code 11 reads every turn";

    auto* trend = view.findChild<TrendView*>("trend_read_rate");
    ASSERT_NE(trend, nullptr);
    EXPECT_EQ(d.program().quality_form().trend_read_rate.title(), "Read rate of code 22");
    EXPECT_GT(count_near(trend->grab().toImage(), QColor(0, 90, 200), 40), 10) << "a line";

    // A click on code 11's row: the read-rate trend follows it from the next repaint.
    const QModelIndex first = view.tags()->model()->index(0, 0);
    QTest::mouseClick(view.tags()->viewport(), Qt::LeftButton, {},
                      view.tags()->visualRect(first).center());
    d.advance(250ms);
    EXPECT_EQ(d.program().quality_form().trend_read_rate.title(), "Read rate of code 11");
}

} // namespace
} // namespace trx::ui::qt
