// An old scan on screen: greyed views and the note over the picture, gone with the next frame.
#include "qt/main_view.hpp"
#include "qt/stale_marks.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include "tests/qt_wait.hpp"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

using testkit::Driver;

TEST(StaleView, TheLiveViewsFadeAndTheNoteCoversThePictureUntilTheNextFrame) {
    trx::test::ensure_application();
    Driver d;
    d.start();
    MainView view(d.program().main_form());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    auto* note = view.findChild<QLabel*>("stale_note");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->parentWidget(), view.picture());
    EXPECT_EQ(note->geometry(), view.picture()->rect());
    EXPECT_FALSE(note->isVisible());

    d.click("main.Toolbar1.comport");
    d.receive(testkit::parameter_reply(false));
    (void)d.messages();
    d.receive(testkit::status_frame({}));
    d.click("main.Toolbar1.comport"); // closed: what is shown is old now
    QApplication::processEvents();

    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith("No live data since "));
    for (const char* name :
         {"data", "speed_ok", "temp_low", "heater_activ", "temperature", "inkremente"}) {
        EXPECT_TRUE(shown_stale(view.findChild<QWidget*>(name))) << name;
    }
    EXPECT_FALSE(shown_stale(view.findChild<QWidget*>("Check1")));
    // Every word of the note fits on the picture.
    EXPECT_LE(note->fontMetrics().horizontalAdvance(note->text()), note->width());

    d.click("main.Toolbar1.comport");
    d.receive(testkit::status_frame({}));
    QApplication::processEvents();
    EXPECT_FALSE(note->isVisible());
    EXPECT_FALSE(shown_stale(view.findChild<QWidget*>("data")));
}

} // namespace
} // namespace trx::ui::qt
