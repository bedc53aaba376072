// The Qt parameter window on real widgets (offscreen): keys pass the window and then the
// fields' key handlers, arrow clicks and the chord work whatever has the focus, and a rejected
// value shows a real modal message box.
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/para_view.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool modal;
};

// Runs `action`; answers the modal message box it opens with OK and says what it showed.
std::optional<BoxSeen> answer_box_during(const std::function<void()>& action) {
    std::optional<BoxSeen> seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen = BoxSeen{box->windowTitle(), box->text(), box->icon(), box->isModal()};
        box->done(QMessageBox::Ok);
    });
    poll.start();
    action();
    return seen;
}

class ParaViewTest : public ::testing::Test {
protected:
    ParaViewTest() {
        program.para_form().window.show();
        view.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
    }

    template <class W> W* find(const char* name) {
        auto* w = view.findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QLineEdit* edit(const char* name) { return find<QLineEdit>(name); }

    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    QtDialogs dialogs;
    testkit::VirtualPump pump{clock};
    // Settings, backups and the service history in a folder of the test's own, never the
    // user's.
    trx::test::TempFolder folder{"trx-para-view-"};
    platform::StdFiles files{folder.path(), folder.path() / "config", folder.path() / "data"};
    main::Program program{{port, clock, dialogs, pump, files}};
    ParaView view{program.para_form()};
};

TEST_F(ParaViewTest, EveryControlHasItsWidgetAndTheFilterFieldsStandInOrder) {
    for (const Control* c : program.para_form().window.controls()) {
        EXPECT_NE(view.findChild<QWidget*>(QString::fromStdString(c->name())), nullptr)
            << c->name();
    }
    auto* resolution = find<QComboBox>("auflösung");
    ASSERT_NE(resolution, nullptr);
    EXPECT_EQ(resolution->itemText(5), "    65536");
    EXPECT_EQ(resolution->currentIndex(), -1);
    EXPECT_EQ(resolution->currentText(), "      8192");

    int last_y = -1;
    for (const char* name :
         {"gap_offset_abs", "gap_offset_rel", "equal_tolerance_abs", "equal_tolerance_rel",
          "gap_correction", "min_modul_angle", "max_modul_angle"}) {
        SCOPED_TRACE(name);
        QLineEdit* box = edit((std::string(name) + "_anz").c_str());
        auto* arrows = find<QWidget>(name);
        ASSERT_TRUE(box != nullptr && arrows != nullptr);
        const QRect b(box->mapTo(&view, QPoint(0, 0)), box->size());
        const QRect a(arrows->mapTo(&view, QPoint(0, 0)), arrows->size());
        EXPECT_GT(b.top(), last_y);
        EXPECT_LE(b.right(), a.left()); // the arrows sit right beside the box
        EXPECT_LE(a.left() - b.right(), 4);
        EXPECT_LE(std::abs(a.center().y() - b.center().y()), 2);
        last_y = b.top();
    }
    if (const char* out = std::getenv("TRX_PARA_SHOT")) {
        EXPECT_TRUE(view.grab().save(QString::fromLocal8Bit(out)));
    }
}

TEST_F(ParaViewTest, TypingGoesThroughTheKeyHandlers) {
    QLineEdit* box = edit("gap_offset_abs_anz");
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, "a");
    EXPECT_EQ(box->text(), "");
    QTest::keyClicks(box, "4x2");
    EXPECT_EQ(box->text(), "42");
    EXPECT_EQ(program.para_form().gap_offset_abs.value(), 42);

    QLineEdit* speed = edit("speed_anz");
    ASSERT_NE(speed, nullptr);
    QTest::mouseClick(speed, Qt::LeftButton);
    QTest::keyClicks(speed, "12.5");
    EXPECT_EQ(speed->text(), "12,5");
    EXPECT_EQ(speed->cursorPosition(), 4);
    const auto arrows = find<QWidget>("speed")->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QTest::mouseClick(arrows[0], Qt::LeftButton);
    EXPECT_EQ(speed->text(), "12,6");
}

TEST_F(ParaViewTest, ServiceChordWorksWithTheFocusInAField) {
    QLineEdit* can = edit("can_identifier");
    QLineEdit* serial = edit("seriennummer");
    auto* write = find<QPushButton>("command_write_index");
    ASSERT_TRUE(can != nullptr && serial != nullptr && write != nullptr);
    QTest::mouseClick(can, Qt::LeftButton);
    ASSERT_EQ(can->text(), "0x");
    EXPECT_TRUE(serial->isReadOnly());
    EXPECT_FALSE(write->isVisible());
    QTest::keyClick(can, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(serial->isReadOnly());
    EXPECT_TRUE(write->isVisible());
    EXPECT_TRUE(write->isEnabled());
    EXPECT_EQ(can->text(), "0x");
}

TEST_F(ParaViewTest, LeavingARejectedValueShowsTheModalBoxThenTheRestoreValue) {
    QLineEdit* box = edit("gap_correction_anz");
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, "5");
    ASSERT_EQ(box->text(), "5");
    const auto seen = answer_box_during([box] { QTest::keyClick(box, Qt::Key_Tab); });
    ASSERT_TRUE(seen.has_value()) << "no modal box";
    EXPECT_EQ(seen->title, "Parameter error");
    EXPECT_EQ(seen->text, "Possible values for gap correction: 10 - 200");
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
    EXPECT_TRUE(seen->modal);
    EXPECT_EQ(box->text(), "");
    EXPECT_EQ(program.para_form().gap_correction.value(), 10);
    EXPECT_FALSE(box->hasFocus()); // the Tab went on to the next field
}

} // namespace
} // namespace trx::ui::qt

// The widgets need a QApplication for the whole run.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
