// The live monitor on the real main window widgets (offscreen): a scan reaches the grids and
// the picture in one refresh each, and a burst of frames repaints a few times a second while
// the models follow every frame.
#include "qt/main_view.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Fontconfig keeps a cache for the life of the process that LeakSanitizer counts as lost.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace trx::ui::qt {
namespace {

using testkit::StatusShape;

void ensure_app() {
    static int argc = 1;
    static char name[] = "live_view_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

StatusShape scan_of(std::uint32_t first_start) {
    StatusShape s;
    for (std::uint32_t i = 0; i < 20; ++i) {
        s.stripes.push_back({first_start + i * 400, 30});
    }
    return s;
}

struct LiveView : ::testing::Test {
    testkit::Driver d;
    std::unique_ptr<MainView> view;

    void SetUp() override {
        ensure_app();
        d.start();
        d.click("main.Toolbar1.comport");
        d.receive(testkit::parameter_reply(false));
        view = std::make_unique<MainView>(d.program().main_form());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        settle();
    }
    // Long enough for every throttled refresh to have run.
    static void settle() { QTest::qWait(3 * GridView::k_min_interval_ms); }
    [[nodiscard]] QString shown(GridView* g, int row, int col) const {
        return g->model()->index(row - 1, col - 1).data().toString();
    }
};

TEST_F(LiveView, OneScanCostsEachGridOneRefreshAndThePictureOneRepaint) {
    const int data_before = view->data()->grid_model().refreshes();
    const int data2_before = view->data2()->grid_model().refreshes();
    const int picture_before = view->picture()->repaints();
    d.receive("\x02S1FFF9300010100002002000010"
              "89\x03");
    settle();
    EXPECT_EQ(view->data()->grid_model().refreshes(), data_before + 1);
    EXPECT_EQ(view->data2()->grid_model().refreshes(), data2_before + 1);
    EXPECT_EQ(view->picture()->repaints(), picture_before + 1);
    EXPECT_EQ(shown(view->data(), 1, 1), "256");
    EXPECT_EQ(shown(view->data(), 3, 3), "224");
    EXPECT_EQ(view->data()->model()->headerData(0, Qt::Horizontal).toString(), "angle");
    EXPECT_EQ(view->data()->model()->headerData(0, Qt::Vertical).toString(), "1");
}

// Frames arrive in separate receive events, as fast as the loop takes them.
TEST_F(LiveView, ABurstRepaintsAtMostThirtyTimesASecondWhileTheModelsFollowEveryFrame) {
    int scans_seen = 0;
    const auto c1 = d.program().main_form().data.changed.connect([&scans_seen] { ++scans_seen; });
    const int data_before = view->data()->grid_model().refreshes();
    const int picture_before = view->picture()->repaints();
    constexpr int k_frames = 300;
    QElapsedTimer t;
    t.start();
    for (std::uint32_t i = 0; i < k_frames; ++i) {
        d.receive(testkit::status_frame(scan_of(i)));
        QApplication::processEvents();
    }
    const qint64 elapsed = t.elapsed();
    settle();
    EXPECT_EQ(scans_seen, k_frames);         // the model was rebuilt for every frame
    const qint64 allowed = elapsed / 30 + 2; // about 30 a second
    EXPECT_LE(view->data()->grid_model().refreshes() - data_before, allowed) << elapsed << " ms";
    EXPECT_LE(view->picture()->repaints() - picture_before, allowed) << elapsed << " ms";
    EXPECT_EQ(shown(view->data(), 1, 1), QString::number(k_frames - 1)); // the last scan
}

} // namespace
} // namespace trx::ui::qt
