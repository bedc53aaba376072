// The "Scan quality" window on screen: rows tinted by read rate, trends drawn with QPainter,
// a click on a row picks the code the read-rate trend follows.
#include "qt/quality_view.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include "tests/qt_wait.hpp"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QSignalSpy>
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

// Counts the paint events each widget of a window gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* window) {
        window->installEventFilter(this);
        for (QWidget* w : window->findChildren<QWidget*>()) {
            w->installEventFilter(this);
        }
    }
    [[nodiscard]] int of(const QObject* w) const { return counts_.value(w); }
    [[nodiscard]] int total() const {
        int n = 0;
        for (const int c : counts_) {
            n += c;
        }
        return n;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++counts_[watched];
        }
        return false;
    }

private:
    QHash<const QObject*, int> counts_;
};

TEST(GridModel, TellsTheViewOfTheHeadersThatChangedOnly) {
    ensure_application();
    Window w{"w", "W"};
    Grid g{w, "g", 10, 3, 5};
    GridModel model(g);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy cells(&model, &QAbstractItemModel::dataChanged);
    model.refresh(); // the first time: every header
    ASSERT_EQ(headers.count(), 2);
    headers.clear();
    g.set_cell(1, 1, "12");
    model.refresh();
    EXPECT_EQ(headers.count(), 0);
    EXPECT_EQ(cells.count(), 2);
    g.set_cell(4, 0, "4");
    g.set_cell(6, 0, "6");
    g.set_cell(0, 2, "code");
    model.refresh();
    ASSERT_EQ(headers.count(), 2);
    EXPECT_EQ(headers[0][0].value<Qt::Orientation>(), Qt::Horizontal);
    EXPECT_EQ(headers[0][1].toInt(), 1);
    EXPECT_EQ(headers[0][2].toInt(), 1);
    EXPECT_EQ(headers[1][0].value<Qt::Orientation>(), Qt::Vertical);
    EXPECT_EQ(headers[1][1].toInt(), 3); // the model's rows start below the header row
    EXPECT_EQ(headers[1][2].toInt(), 5);
    EXPECT_EQ(model.headerData(5, Qt::Vertical, Qt::DisplayRole).toString(), "6");
    // Emptied and written again alike, as a rebuild does: nothing to tell.
    headers.clear();
    g.clear();
    g.set_cell(4, 0, "4");
    g.set_cell(6, 0, "6");
    g.set_cell(0, 2, "code");
    model.refresh();
    EXPECT_EQ(headers.count(), 0);
}

TEST(QualityView, ARefreshRepaintsTheTableOnceAndLeavesUnchangedFiguresAlone) {
    ensure_application();
    Driver d;
    d.start();
    QualityView view(d.program().quality_form());
    d.click("main.Toolbar1.comport");
    d.receive(testkit::parameter_reply(true));
    (void)d.messages();
    d.choose("main.StatusBar1.diagnostics.scan_quality");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    testkit::StatusShape s;
    s.ya = true;
    s.stripes = {{100, 10, 0}, {130, 10, 11}, {2000, 10, 0}, {2030, 10, 22}};
    const auto refresh = [&] {
        for (int i = 0; i < 5; ++i) { // 18 turns a second
            d.receive(testkit::status_frame(s));
            d.advance(55ms);
        }
        // Past the views' own throttles, so every repaint asked for has happened.
        QTest::qWait(4 * GridView::k_min_interval_ms);
    };
    refresh();
    const int refreshes = d.program().quality_window().refreshes();
    const PaintCounter paints(&view);
    constexpr int k_refreshes = 8;
    for (int i = 0; i < k_refreshes; ++i) {
        refresh();
    }
    ASSERT_EQ(d.program().quality_window().refreshes(), refreshes + k_refreshes);
    // The "last seen" column changes at every refresh: the table repaints, once each time.
    EXPECT_GE(paints.of(view.tags()->viewport()), k_refreshes - 1);
    EXPECT_LE(paints.of(view.tags()->viewport()), k_refreshes);
    // The figures that stay the same (temperature, stripes, status bits) are not repainted.
    for (const char* name : {"temperature", "stripes", "status_bits", "cmd_reset"}) {
        EXPECT_EQ(paints.of(view.findChild<QWidget*>(name)), 0) << name;
    }
}

} // namespace
} // namespace trx::ui::qt
