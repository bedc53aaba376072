// The scan picture's extras on screen: each one changes the picture where it should, none
// changes it unless asked, and the menu's choice, the wheel and a row click reach the logic.
#include "monitor/plan_overlay.hpp"
#include "qt/main_view.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include "tests/qt_wait.hpp"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

using testkit::Driver;
using trx::test::ensure_application;

constexpr double k_side = 5175;
constexpr double k_c = k_side / 2;
constexpr int k_pixels = 345; // the picture's size at 96 dpi

// Two rays (up-left and down) and the scanner dot, as the picture shows a turn.
PictureScene sample_scene() {
    PictureScene s{k_side, k_side, ui::rgb(224, 224, 224), {}, {}, {}};
    s.lines.push_back({k_c, k_c, k_c - 1768, k_c - 1768, monitor::k_ray_colour});
    s.lines.push_back({k_c, k_c, k_c, k_c + 2500, monitor::k_ray_colour});
    s.dot = PictureScene::Dot{k_c - 60, k_c - 60, 120, 120, ui::rgb(255, 255, 0)};
    return s;
}

QImage render(const PictureScene& scene, const PlanDrawing* extras) {
    QImage image(k_pixels, k_pixels, QImage::Format_RGB32);
    QPainter painter(&image);
    if (extras == nullptr) {
        paint_scene(painter, scene, QSizeF(k_pixels, k_pixels));
    } else {
        paint_scene(painter, scene, *extras, QSizeF(k_pixels, k_pixels));
    }
    return image;
}

// Pixels that differ between the two images, and how many of them lie inside `area`.
struct Difference {
    int total = 0;
    int inside = 0;
};

Difference difference(const QImage& a, const QImage& b, QRect area) {
    Difference d;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++d.total;
                d.inside += area.contains(x, y) ? 1 : 0;
            }
        }
    }
    return d;
}

int count_colour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

// The pixel a point in twips falls on.
QPoint pixel(double x, double y) {
    return {static_cast<int>(x / k_side * k_pixels), static_cast<int>(y / k_side * k_pixels)};
}

TEST(PlanViewPainting, NoExtrasPaintTheSamePictureAsWithout) {
    ensure_application();
    const PlanDrawing none;
    EXPECT_EQ(render(sample_scene(), &none), render(sample_scene(), nullptr));
}

TEST(PlanViewPainting, EachExtraChangesThePictureWhereItBelongs) {
    ensure_application();
    const QImage plain = render(sample_scene(), nullptr);
    const monitor::Point c{k_c, k_c};

    PlanDrawing ticks;
    const monitor::Point top = monitor::at_degrees(c, 0, 2080);
    ticks.ticks.push_back({k_c, k_c - 2350, k_c, k_c - 2500, ui::rgb(64, 64, 64)});
    ticks.labels.push_back({top.x, top.y, "0°", ui::rgb(64, 64, 64)});
    const QPoint at_top = pixel(top.x, top.y);
    const Difference dt = difference(render(sample_scene(), &ticks), plain,
                                     QRect(at_top.x() - 30, 0, 60, at_top.y() + 16));
    EXPECT_GT(dt.inside, 20);
    EXPECT_EQ(dt.inside, dt.total); // only around the top: the rest of the picture as it was

    PlanDrawing selected;
    selected.selected = Segment{k_c, k_c, k_c, k_c + 2500, ui::rgb(0, 110, 255)};
    const QImage with_selected = render(sample_scene(), &selected);
    // Thicker than the red ray it covers, so it shows wholly beside it too.
    EXPECT_GT(count_colour(with_selected, qRgb(0, 110, 255)), 2 * 150);
    const Difference ds = difference(with_selected, plain,
                                     QRect(k_pixels / 2 - 4, k_pixels / 2 - 3, 9, k_pixels / 2));
    EXPECT_EQ(ds.inside, ds.total); // from the centre down only

    PlanDrawing behind;
    behind.behind.push_back({k_c, k_c, k_c + 2500, k_c, ui::rgb(240, 168, 168)});
    const Difference db =
        difference(render(sample_scene(), &behind), plain,
                   QRect(k_pixels / 2 + 5, k_pixels / 2 - 3, k_pixels / 2, 7)); // to the right
    EXPECT_GT(db.inside, 100);
    EXPECT_LT(db.total - db.inside, 30); // little more than where it meets the dot

    PlanDrawing zoomed;
    zoomed.zoom = 2;
    const QImage big = render(sample_scene(), &zoomed);
    // The down ray now runs off the bottom edge; the dot is twice as wide.
    EXPECT_EQ(plain.pixel(k_pixels / 2, k_pixels - 2), qRgb(224, 224, 224));
    EXPECT_NE(big.pixel(k_pixels / 2, k_pixels - 2), qRgb(224, 224, 224));
    EXPECT_GT(count_colour(big, qRgb(255, 255, 0)), 3 * count_colour(plain, qRgb(255, 255, 0)));
}

class PlanViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_application();
        d_.start();
        view_ = std::make_unique<MainView>(d_.program().main_form());
        view_->set_plan_extras(d_.program().plan_extras());
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        d_.click("main.Toolbar1.comport");
        d_.receive(testkit::parameter_reply(true));
        (void)d_.messages();
        testkit::StatusShape s;
        s.resolution = 8000;
        s.ya = true;
        s.stripes = {{0, 20, 0}, {2000, 20, 7}, {4000, 20, 9}};
        d_.receive(testkit::status_frame(s));
        QTest::qWait(3 * PictureView::k_min_interval_ms);
    }
    PlanExtras& extras() { return d_.program().plan_extras(); }
    QImage picture() {
        QTest::qWait(3 * PictureView::k_min_interval_ms);
        return view_->picture()->grab().toImage();
    }

    Driver d_;
    std::unique_ptr<MainView> view_;
};

TEST_F(PlanViewTest, TheViewShowsAnExtraOnceAskedAndNotAfter) {
    const QImage before = picture();
    extras().user_toggle("codes");
    const QImage with_codes = picture();
    EXPECT_NE(with_codes, before);
    extras().user_toggle("codes");
    EXPECT_EQ(picture(), before);
}

TEST_F(PlanViewTest, TheWheelZoomsOnceZoomIsChecked) {
    PictureView* pic = view_->picture();
    const QPointF at(pic->width() / 2.0, pic->height() / 2.0);
    const auto notch = [&] {
        QWheelEvent up(at, pic->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(pic, &up);
    };
    notch();
    EXPECT_EQ(extras().drawing().zoom, 1);
    extras().user_toggle("zoom");
    notch();
    EXPECT_DOUBLE_EQ(extras().drawing().zoom, monitor::PlanOverlay::k_zoom_step);
}

TEST_F(PlanViewTest, ARowClickedInTheTableDrawsItsRay) {
    extras().user_toggle("selected");
    GridView* table = view_->data();
    // Row 3 of the model (its second data row in Qt's count): stripe 2's edge at a quarter turn.
    const QRect row = table->visualRect(table->model()->index(2, 1));
    ASSERT_TRUE(row.isValid());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_TRUE(extras().drawing().selected.has_value());
    EXPECT_NEAR(extras().drawing().selected->x2, k_c - 2500, 1e-6);
    const QImage image = picture();
    EXPECT_GT(count_colour(image, qRgb(0, 110, 255)), 20);
}

} // namespace
} // namespace trx::ui::qt
