// The real main window widgets over the headless program: they show the models and hand the
// technician's input to the logic.
#include "qt/bind.hpp"
#include "qt/main_view.hpp"
#include "testkit/driver.hpp"

#include "tests/qt_wait.hpp"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTest>

#include <gtest/gtest.h>

// Fontconfig keeps a cache for the life of the process that LeakSanitizer counts as lost.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace trx::ui::qt {
namespace {

using testkit::Driver;
using trx::test::ensure_application;

// The program started headless, with its main window on screen.
class MainViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_application();
        d_.start();
        view_ = std::make_unique<MainView>(d_.program().main_form());
        view_->show();
        view_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        QApplication::processEvents();
    }

    template <class W = QWidget> W* child(const char* name) const {
        return view_->findChild<W*>(QString::fromLatin1(name));
    }

    // A key as the technician types it: to the widget with the focus.
    void type_chord(Qt::Key key, Qt::KeyboardModifiers mods) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target != nullptr ? target : view_.get(), key, mods);
    }

    main::MainForm& form() { return d_.program().main_form(); }

    Driver d_;
    std::unique_ptr<MainView> view_;
};

TEST_F(MainViewTest, EveryControlHasAWidgetOfItsNameAndTheWindowItsSize) {
    EXPECT_EQ(view_->windowTitle(), "TRX 81500-A V1.09");
    EXPECT_EQ(view_->objectName(), "main");
    EXPECT_EQ(view_->size(), QSize(twips_x(9915, view_.get()), twips_y(8505, view_.get())));
    for (ui::Control* c : form().window.controls()) {
        const bool drawn = dynamic_cast<ui::Timer*>(c) != nullptr ||
                           dynamic_cast<ui::Line*>(c) != nullptr ||
                           dynamic_cast<ui::Shape*>(c) != nullptr;
        if (!drawn) {
            EXPECT_NE(child(c->name().c_str()), nullptr) << c->name();
        }
    }
    const QRect grid(twips_x(5400, view_.get()), twips_y(540, view_.get()),
                     twips_x(4395, view_.get()), twips_y(7515, view_.get()));
    EXPECT_EQ(view_->data()->geometry(), grid);
    EXPECT_EQ(view_->data2()->geometry(), grid);
    EXPECT_EQ(view_->picture()->geometry(),
              QRect(twips_x(120, view_.get()), twips_y(2880, view_.get()),
                    twips_x(5175, view_.get()), twips_y(5175, view_.get())));
}

TEST_F(MainViewTest, WidgetsMirrorCaptionsCellsAndCheckBoxes) {
    EXPECT_EQ(view_->toolbar()->button("comport")->text(), "Open COM1    ");
    EXPECT_EQ(view_->toolbar()->button("exit")->text(), "Exit             ");
    EXPECT_FALSE(view_->toolbar()->button("parameter")->isEnabled());
    EXPECT_FALSE(view_->toolbar()->button("software")->isEnabled());
    EXPECT_EQ(child<QLabel>("inkremente_einheit")->text(), "[pulses/rev.]");
    EXPECT_EQ(child<QCheckBox>("heater_activ")->text(), "Heater activ");

    QAbstractItemModel* data = view_->data()->model();
    EXPECT_EQ(data->headerData(0, Qt::Horizontal).toString(), "angle");
    EXPECT_EQ(data->headerData(2, Qt::Horizontal).toString(), "width");
    EXPECT_EQ(data->headerData(3, Qt::Horizontal).toString(), "");
    EXPECT_EQ(data->headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(data->headerData(998, Qt::Vertical).toString(), "999");
    EXPECT_EQ(view_->data2()->model()->headerData(1, Qt::Horizontal).toString(), "tag width");
    EXPECT_EQ(view_->data()->horizontalHeader()->sectionSize(1), twips_x(400, view_.get()));
    EXPECT_FALSE(view_->data()->isHidden());
    EXPECT_TRUE(view_->data2()->isHidden());

    form().data.set_cell(3, 2, "+");
    form().speed_ok.set_checked(true);
    form().temperature.set_caption("23");
    form().StatusBar1.set_panel(1, "online");
    QApplication::processEvents();
    EXPECT_EQ(data->index(2, 1).data().toString(), "+");
    EXPECT_TRUE(child<QCheckBox>("speed_ok")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("temp_low")->isChecked());
    EXPECT_EQ(child<QLabel>("temperature")->text(), "23");
    EXPECT_EQ(view_->status_bar()->panel(1)->text(), "online");
    EXPECT_FALSE(view_->status_bar()->panel(3)->text().isEmpty()); // the time of day
    EXPECT_FALSE(view_->status_bar()->panel(4)->text().isEmpty()); // the date
}

TEST_F(MainViewTest, AToolbarClickAndCtrlAltQReachTheLogic) {
    QToolButton* port = view_->toolbar()->button("comport");
    QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(8, port->height() / 2));
    EXPECT_TRUE(d_.port_open());
    EXPECT_EQ(port->text(), "Close COM1    ");
    EXPECT_TRUE(view_->toolbar()->button("software")->isEnabled());

    auto* comand = child("comand");
    type_chord(Qt::Key_Q, Qt::ControlModifier);
    type_chord(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(comand->isHidden());
    type_chord(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(d_.visible("main.comand"));
    EXPECT_FALSE(comand->isHidden());

    // The check box now in view passes its click on.
    QTest::mouseClick(child("motor_off"), Qt::LeftButton);
    EXPECT_TRUE(d_.checked("main.motor_off"));

    QTest::mouseClick(view_->toolbar()->button("exit"), Qt::LeftButton);
    EXPECT_TRUE(d_.ended());
    EXPECT_FALSE(d_.port_open());
    EXPECT_TRUE(view_->isHidden());
}

// A long name after "Open " (a capture's file, a by-id path) is elided on the button, whole in
// its tool tip; all four buttons stay on the bar, none in its overflow.
TEST_F(MainViewTest, ALongPortCaptionIsElidedAndEveryButtonStaysOnTheBar) {
    const std::string name = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
                             "-replayed-at-the-customers-site-2026-12-09.trxcap";
    form().Toolbar1.set_caption("comport", "Open " + name);
    QApplication::processEvents();
    ToolbarView* bar = view_->toolbar();
    QToolButton* port = bar->button("comport");
    EXPECT_TRUE(port->text().startsWith("Open /dev/")) << port->text().toStdString();
    EXPECT_TRUE(port->text().contains(QChar(0x2026))) << port->text().toStdString();
    EXPECT_TRUE(port->text().endsWith(".trxcap")) << port->text().toStdString();
    EXPECT_EQ(port->toolTip().toStdString(), "Open " + name);
    for (const char* key : {"comport", "parameter", "software", "exit"}) {
        QToolButton* b = bar->button(key);
        EXPECT_TRUE(b->isVisible()) << key;
        EXPECT_LE(b->geometry().right(), bar->width()) << key;
    }
    // The model keeps the whole caption: the logic compares it.
    EXPECT_EQ(d_.text("main.Toolbar1.comport"), "Open " + name);

    // A short caption is shown whole again, without a tool tip of its own.
    form().Toolbar1.set_caption("comport", "Open COM1    ");
    QApplication::processEvents();
    EXPECT_EQ(port->text(), "Open COM1    ");
    EXPECT_TRUE(port->toolTip().isEmpty());
}

TEST_F(MainViewTest, ThePortMenuIsRefreshedWhenItOpensAndPassesTheChoiceOn) {
    d_.serial_devices({{"/dev/ttyUSB0", "usb-FTDI_FT232R_A1-if00-port0"}});
    QMenu* menu = view_->toolbar()->menu("comport");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction* a : menu->actions()) {
        texts << (a->isSeparator() ? QString("|") : a->text());
    }
    EXPECT_EQ(texts.join(","), "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,COM9,COM10,|,/dev/"
                               "ttyUSB0,Simulator,Replay...,Network port...,|,Find scanner,|,"
                               "Reconnect automatically");
    // The check item shows the setting (off for a local port) and toggles through the logic.
    auto* reconnect = menu->findChild<QAction*>("reconnect");
    ASSERT_NE(reconnect, nullptr);
    EXPECT_TRUE(reconnect->isCheckable());
    EXPECT_FALSE(reconnect->isChecked());
    reconnect->trigger();
    EXPECT_TRUE(reconnect->isChecked());
    reconnect->trigger();
    EXPECT_FALSE(reconnect->isChecked());
    auto* usb = menu->findChild<QAction*>("ttyUSB0");
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->toolTip(), "usb-FTDI_FT232R_A1-if00-port0");

    menu->findChild<QAction*>("com10")->trigger();
    EXPECT_EQ(view_->toolbar()->button("comport")->text(), "Open COM10   ");
    QTest::mouseClick(view_->toolbar()->button("comport"), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(d_.port_name(), "COM10");
    EXPECT_FALSE(menu->findChild<QAction*>("com1")->isEnabled());
}

TEST_F(MainViewTest, AGridRebuildCostsOneRefreshAndScrollingTellsTheModel) {
    GridModel& model = view_->data()->grid_model();
    ui::Grid& grid = form().data;
    const int before = model.refreshes();
    grid.set_drawing(false);
    grid.clear();
    for (int r = 1; r <= 600; ++r) {
        for (int c = 1; c < 6; ++c) {
            grid.set_cell(r, c, std::to_string(r * c));
        }
    }
    QApplication::processEvents();
    EXPECT_EQ(model.refreshes(), before);
    grid.set_drawing(true);
    // The refresh may wait for the rest of the interval since the last one.
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.refreshes() > before; }, 5000));
    QTest::qWait(3 * GridView::k_min_interval_ms);
    EXPECT_EQ(model.refreshes(), before + 1);
    EXPECT_EQ(view_->data()->model()->index(0, 0).data().toString(), "1");

    // Thirty cells written with drawing on still make one refresh (once the interval since
    // the last one has passed).
    for (int r = 1; r <= 30; ++r) {
        grid.set_cell(r, 0, std::to_string(r));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.refreshes() > before + 1; }, 5000));
    QTest::qWait(3 * GridView::k_min_interval_ms);
    EXPECT_EQ(model.refreshes(), before + 2);

    view_->data()->verticalScrollBar()->setValue(100);
    EXPECT_EQ(d_.top_row("main.data"), 101);
}

TEST_F(MainViewTest, ThePicturePaintsItsElementsScaledAndRepaintsAtMostOncePerInterval) {
    PictureView* pic = view_->picture();
    QImage img = pic->grab().toImage();
    const int cx = pic->width() / 2;
    const int cy = pic->height() / 2;
    EXPECT_EQ(img.pixelColor(3, 3), QColor(224, 224, 224));
    EXPECT_EQ(img.pixelColor(cx, cy), QColor(255, 255, 0)); // the scanner dot
    const QColor zero_line = img.pixelColor(cx, cy / 2);
    EXPECT_LT(zero_line.red(), 200); // the grey line straight up, not the background
    EXPECT_EQ(img.pixelColor(cx / 2, cy / 2), QColor(224, 224, 224));

    const int before = pic->repaints();
    // A quarter turn points left: 2500 twips from the centre.
    for (int i = 0; i < 100; ++i) {
        form().map.draw_line({2587.5, 2587.5, 87.5, 2587.5, 0xFF0000});
    }
    QTest::qWait(3 * PictureView::k_min_interval_ms);
    EXPECT_EQ(pic->repaints(), before + 1);
    img = pic->grab().toImage();
    const int x = pic->width() / 4;
    const QColor a = img.pixelColor(x, cy - 1);
    const QColor b = img.pixelColor(x, cy);
    EXPECT_TRUE(a.red() - a.green() > 60 || b.red() - b.green() > 60)
        << a.name().toStdString() << " " << b.name().toStdString();
}

// The width a header's text gets in a section of this size, by the style's own margins.
int header_text_room(const QHeaderView* h, int section_width) {
    QStyleOptionHeader opt;
    opt.initFrom(h);
    opt.rect = QRect(0, 0, section_width, h->defaultSectionSize());
    return h->style()->subElementRect(QStyle::SE_HeaderLabel, &opt, h).width();
}

TEST_F(MainViewTest, TabWalksTheWorkingControlsInReadingOrderAndTheIndicatorsOnlyShow) {
    d_.key("main", testkit::ctrl | testkit::alt, 'Q'); // "Comand" in view
    form().display_filter_frame.set_visible(true);     // as a "YA" reply leaves it
    ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    view_->toolbar()->button("comport")->setFocus(Qt::TabFocusReason);
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    // "Parameter" and "Software" are disabled while the port is closed; data2 is hidden.
    EXPECT_EQ(order.join(","), "comport,exit,Check1,motor_off,laser_on,data,comport");

    // A status bit cannot be flipped from the screen, not even for a timer tick.
    auto* speed_ok = child<QCheckBox>("speed_ok");
    // Through the window, as the pointer would: on the box itself.
    const QPoint box = speed_ok->mapTo(view_.get(), QPoint(8, speed_ok->height() / 2));
    QTest::mouseClick(view_->windowHandle(), Qt::LeftButton, {}, box);
    EXPECT_FALSE(d_.checked("main.speed_ok"));
    EXPECT_FALSE(speed_ok->isChecked());
    form().speed_ok.set_checked(true);
    EXPECT_TRUE(speed_ok->isChecked());
}

TEST_F(MainViewTest, TheTablesScrollByKeyTheirRowNumbersFollowAndNoHeadingIsCut) {
    GridView* data = view_->data();
    QScrollBar* bar = data->verticalScrollBar();
    const QHeaderView* rows = data->verticalHeader();
    auto number_at = [&](int row) {
        return data->model()->headerData(row - 1, Qt::Vertical).toString().toStdString();
    };
    auto key = [&](Qt::Key k) {
        QTest::keyClick(data, k);
        const int top = d_.top_row("main.data");
        // The view shows the numbers the logic wrote once its refresh has run.
        EXPECT_TRUE(QTest::qWaitFor([&] { return number_at(top) == std::to_string(top); }, 2000))
            << "row " << top << " shows \"" << number_at(top) << "\"";
        return top;
    };
    // All 30 rows of a page in view, so the numbered rows are the rows shown.
    EXPECT_GE(rows->count() - bar->maximum(), 30);

    EXPECT_EQ(key(Qt::Key_End), bar->maximum() + 1);
    EXPECT_EQ(number_at(1000), "1000");
    EXPECT_EQ(key(Qt::Key_Home), 1);
    EXPECT_EQ(key(Qt::Key_PageDown), 1 + bar->pageStep());
    EXPECT_EQ(key(Qt::Key_Down), 2 + bar->pageStep());
    EXPECT_EQ(key(Qt::Key_Up), 1 + bar->pageStep());
    EXPECT_EQ(key(Qt::Key_PageUp), 1);

    // The widest texts in the narrowest columns fit in the window's font.
    const QFontMetrics fm = rows->fontMetrics();
    EXPECT_LE(fm.horizontalAdvance("1000"), header_text_room(rows, rows->width()));
    const QHeaderView* across = data->horizontalHeader();
    EXPECT_LE(fm.horizontalAdvance("flag"), header_text_room(across, across->sectionSize(1)));
    EXPECT_LE(fm.horizontalAdvance("tag width"), header_text_room(across, across->sectionSize(3)));
    EXPECT_LE(fm.horizontalAdvance("code"), header_text_room(across, across->sectionSize(4)));
}

} // namespace
} // namespace trx::ui::qt
