// Panel 2 of the real status bar and the diagnostics menu behind it, and the scan picture
// drawn into a PNG file by the Qt renderer.
#include "qt/bind.hpp"
#include "qt/main_view.hpp"
#include "qt/qt_picture_renderer.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include "tests/qt_wait.hpp"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;
using trx::test::ensure_application;

struct DiagnosticsViewTest : ::testing::Test {
    void SetUp() override {
        ensure_application();
        d.start();
        view = std::make_unique<MainView>(d.program().main_form());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        d.click("main.Toolbar1.comport");
        ASSERT_TRUE(d.port_open());
        d.receive(testkit::parameter_reply(false));
        (void)d.messages();
    }
    // A scan with rays at a quarter turn (pointing left) and half a turn (down).
    void scan() {
        testkit::StatusShape s;
        s.stripes = {{2048, 40}, {4096, 40}};
        d.receive(testkit::status_frame(s));
    }

    Driver d;
    std::unique_ptr<MainView> view;
};

TEST_F(DiagnosticsViewTest, PanelTwoShowsTheFiguresAndItsClickOpensTheMenu) {
    scan();
    d.advance(1000ms);
    QApplication::processEvents();
    QLabel* panel = view->status_bar()->panel(2);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), "2 fr/s  0 bad");
    EXPECT_TRUE(panel->toolTip().startsWith("Since the port was opened:\n2 good frames\n"));
    EXPECT_TRUE(view->status_bar()->panel(1)->toolTip().isEmpty());
    EXPECT_EQ(view->status_bar()->menu(1), nullptr);

    QTest::mouseClick(panel, Qt::LeftButton);
    QMenu* menu = view->status_bar()->menu(2);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "diagnostics");
    ASSERT_TRUE(trx::test::wait_until([menu] { return menu->isVisible(); }));
    // Above the panel, so the bottom of the screen does not cut it.
    EXPECT_LE(menu->geometry().bottom(), panel->mapToGlobal(QPoint(0, 0)).y());
    QStringList shown;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            shown << a->objectName() + (a->isEnabled() ? "" : " (disabled)") + ": " + a->text();
        }
    }
    EXPECT_EQ(
        shown,
        QStringList({"save_recent: Save last 10 minutes...", "record_start: Start recording...",
                     "record_stop (disabled): Stop recording", "export_csv: Export scan as CSV...",
                     "export_png: Save picture as PNG...", "scan_quality: Scan quality...",
                     "history: History..."}));
    // An entry reaches the logic: the CSV of the scan shown.
    const auto path = d.data_folder() / "view.csv";
    d.answer_save_dialog(path.string());
    menu->findChild<QAction*>("export_csv")->trigger();
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(std::filesystem::exists(path));
    menu->hide();
}

TEST_F(DiagnosticsViewTest, ThePngIsThePictureAsTheScreenShowsIt) {
    scan();
    QApplication::processEvents();
    const auto& form = d.program().main_form();
    QtPictureRenderer renderer;
    const auto png = renderer.png(scene_of(form.map, form.Line1, form.laser));
    ASSERT_TRUE(png.has_value());
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(png->data()),
                                   static_cast<int>(png->size()), "PNG"));
    const int side = twips_x(5175, view.get());
    ASSERT_EQ(image.size(), QSize(side, side) * view->devicePixelRatio());
    EXPECT_EQ(view->picture()->size(), QSize(side, side));
    EXPECT_NEAR(image.dotsPerMeterX(), view->logicalDpiX() / 0.0254, 1.0);

    const auto rgb = [&image](int x, int y) { return QColor(image.pixel(x, y)); };
    EXPECT_EQ(rgb(2, 2), QColor(224, 224, 224));
    EXPECT_EQ(rgb(side / 2, side / 2), QColor(255, 255, 0)) << "the scanner dot";
    // Red along the ray to the left and the one down, nowhere to the right; grey above.
    const auto reddish = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const QColor c = rgb(x + dx, y + dy);
                if (c.red() > 200 && c.green() < 170 && c.blue() < 170) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(reddish(side / 4, side / 2));
    EXPECT_TRUE(reddish(side / 2, side * 3 / 4));
    EXPECT_FALSE(reddish(side * 3 / 4, side / 2));
    const QColor above = rgb(side / 2, side / 8);
    const QColor above2 = rgb(side / 2 - 1, side / 8);
    EXPECT_TRUE(above.red() < 200 || above2.red() < 200) << "the grey zero line";

    // What the window paints, pixel for pixel.
    const QImage shown = view->picture()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, image.convertToFormat(QImage::Format_RGB32));
}

} // namespace
} // namespace trx::ui::qt
