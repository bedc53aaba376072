// The update window's Qt face: it shows its models, and a run in the real event loop keeps
// the library off the window thread while the windows wait and show progress.
#include "fake_flash.hpp"

#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/bind.hpp"
#include "qt/main_view.hpp"
#include "qt/para_view.hpp"
#include "qt/path_label.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/sw_update_view.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "tests/temp_path.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace trx::ui::qt {
namespace {

// One application for all tests, gone before the program's exit handlers run.
class QtApp : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[20] = "sw_update_view_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const k_app = ::testing::AddGlobalTestEnvironment(new QtApp);

template <class W> W* child(QWidget& view, const char* name) {
    auto* w = view.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// The application-wide pointer: over every widget, text boxes included.
bool hourglass() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c != nullptr && c->shape() == Qt::WaitCursor;
}

TEST(SwUpdateView, ShowsTheWindowAndFollowsItsModels) {
    sw_update::SwUpdateForm form;
    SwUpdateView view(form);
    form.window.show();
    ASSERT_TRUE(view.isVisible());
    EXPECT_EQ(view.windowTitle().toStdString(), "TRX 81500-A V1.09   -   Softwareupdate");
    EXPECT_EQ(view.size(), QSize(twips_x(6135, &view), twips_y(6090, &view)));

    auto* program = child<QPushButton>(view, "program");
    auto* status = child<QPlainTextEdit>(view, "status");
    auto* progress = child<QProgressBar>(view, "progress");
    ASSERT_TRUE(program && status && progress);
    EXPECT_EQ(program->size(), QSize(twips_x(975, &view), twips_y(2175, &view)));
    EXPECT_EQ(program->text(), "Program");
    EXPECT_FALSE(program->isEnabled());
    EXPECT_TRUE(child<QPushButton>(view, "openbutton")->isEnabled());
    EXPECT_FALSE(progress->isVisible());
    // Every control sits inside the client area.
    for (const char* name : {"Frame1", "Frame3", "Frame5", "closebutton"}) {
        auto* w = child<QWidget>(view, name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(view.rect().contains(w->geometry())) << name;
    }

    form.hexfilename.set_caption("/tmp/a.h86");
    form.program.set_enabled(true);
    form.status.set_text("Reseting Controller\r\nProgramming aborted");
    form.status.set_text_color(sw_update::k_log_red);
    form.progress.set_visible(true);
    form.progress.set_progress(250, 1000, "Programming  25 %");
    auto* path = child<PathLabel>(view, "hexfilename");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->shown_text(), "/tmp/a.h86");
    EXPECT_EQ(path->toolTip(), "/tmp/a.h86");
    // A long path gives way among its folders; the file name stays whole.
    const QString deep = "/home/service/firmware/TRX81500-A/releases/2024/V1.10/candidates/"
                         "trx81500a_v110_release.h86";
    form.hexfilename.set_caption(deep.toStdString());
    EXPECT_EQ(path->text(), deep);
    EXPECT_EQ(path->toolTip(), deep);
    EXPECT_TRUE(path->shown_text().startsWith("/home/"));
    EXPECT_TRUE(path->shown_text().endsWith("/trx81500a_v110_release.h86"));
    EXPECT_TRUE(path->shown_text().contains(QChar(0x2026)));
    EXPECT_LE(path->fontMetrics().horizontalAdvance(path->shown_text()),
              path->contentsRect().width());
    EXPECT_TRUE(program->isEnabled());
    EXPECT_EQ(status->toPlainText(), "Reseting Controller\nProgramming aborted");
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->maximum(), 1000);
    EXPECT_EQ(progress->value(), 250);
    EXPECT_EQ(progress->text(), "Programming  25 %");

    form.window.hide();
    EXPECT_FALSE(view.isVisible());
}

// The program on Qt's clock and event pump, over a fake port, with a fake flash library.
struct QtRun {
    testkit::VirtualClock line_time; // the fake line's clock; it never needs to move here
    testkit::FakeSerialPort port{line_time};
    QtClock clock;
    testkit::RecordedDialogs dialogs;
    QtEventPump pump;
    // Settings, backups and the service history in a folder of the test's own, never the
    // user's.
    trx::test::TempFolder folder{"trx-view-run-"};
    platform::StdFiles files{folder.path(), folder.path() / "config", folder.path() / "data"};
    main::Program program{{port, clock, dialogs, pump, files}};
    std::shared_ptr<sw_update::testing::FakeFlash> lib =
        std::make_shared<sw_update::testing::FakeFlash>();

    std::filesystem::path hex = std::filesystem::temp_directory_path() /
                                ("trx_view_" + std::to_string(::getpid()) + ".h86");

    QtRun() { program.set_flash_library(lib); }
    ~QtRun() { std::filesystem::remove(hex); }

    // The toolbar opens the port and shows the window; here the test does it, and chooses
    // a file.
    void ready(SwUpdateView& view) {
        program.shared().port_name = "COM1";
        port.set_port_name("COM1");
        ASSERT_TRUE(port.open().ok);
        program.sw_update_form().window.show();
        // The program reads the file itself before the scanner is reset: a real one, with
        // its reset vector.
        std::ofstream(hex, std::ios::binary) << ":08000000FA000002E6F0CB005B\r\n:00000001FF\r\n";
        dialogs.answer_file_dialog(hex.string());
        QTest::mouseClick(child<QPushButton>(view, "openbutton"), Qt::LeftButton);
    }
};

TEST(SwUpdateView, ARunKeepsTheLibraryOffTheWindowThreadAndTheWindowsStill) {
    QtRun rig;
    main::Program& program = rig.program;
    SwUpdateView view(program.sw_update_form());

    auto& lib = rig.lib;
    lib->progress_steps = {{0, 2}, {1, 2}, {2, 2}};
    const auto ui_thread = std::this_thread::get_id();
    std::vector<std::thread::id> call_threads;
    lib->during = [&](const std::string& call) {
        call_threads.push_back(std::this_thread::get_id());
        if (call == "EraseFlash" || call == "ProgramFlash") {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    };
    rig.ready(view);

    auto* progress = child<QProgressBar>(view, "progress");
    auto* close = child<QPushButton>(view, "closebutton");
    int reports_while_blocked = 0;
    QObject::connect(progress, &QProgressBar::valueChanged, progress, [&](int value) {
        if (value <= 0 || value >= progress->maximum()) {
            return;
        }
        if (hourglass() && program.main_form().window.input_blocked()) {
            ++reports_while_blocked;
        }
        QTest::mouseClick(close, Qt::LeftButton); // must not reach the window
    });
    QTest::mouseClick(child<QPushButton>(view, "program"), Qt::LeftButton);

    auto* status = child<QPlainTextEdit>(view, "status");
    const bool finished = QTest::qWaitFor(
        [&] { return status->toPlainText().endsWith("Programming finished"); }, 5000);
    ASSERT_TRUE(finished) << status->toPlainText().toStdString();

    EXPECT_EQ(status->toPlainText().count('\n'), 11); // the image's line, then the ten steps
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(0, 192, 0));
    std::filesystem::remove(rig.hex);
    ASSERT_EQ(call_threads.size(), 9U); // the nine steps, each once
    for (const auto& id : call_threads) {
        EXPECT_NE(id, ui_thread);
    }
    EXPECT_GT(reports_while_blocked, 0);
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(progress->value(), progress->maximum());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(rig.port.is_open());
    EXPECT_TRUE(child<QPushButton>(view, "program")->isEnabled());
}

// All three windows on screen: each is busy during the library steps, and the pointer comes
// back at the common end however the run ended. A failure's reason shows whole.
TEST(SwUpdateView, TheHourglassCoversTheRunAndGoesAfterAFailureOrAnExceptionWithTheReasonWhole) {
    QtRun rig;
    main::Program& program = rig.program;
    MainView main_view(program.main_form());
    ParaView para_view(program.para_form());
    SwUpdateView view(program.sw_update_form());
    auto& lib = rig.lib;
    int calls_under_hourglass = 0;
    int calls = 0;
    lib->during = [&](const std::string&) {
        ++calls;
        // Read on the library's thread while the window thread waits for it.
        calls_under_hourglass += hourglass() ? 1 : 0;
    };
    rig.ready(view);

    auto* status = child<QPlainTextEdit>(view, "status");
    auto* reason = child<QLabel>(view, "failure_reason");
    auto* progress = child<QProgressBar>(view, "progress");
    ASSERT_TRUE(status && reason && progress);
    auto run = [&] {
        QTest::mouseClick(child<QPushButton>(view, "program"), Qt::LeftButton);
        return QTest::qWaitFor(
            [&] { return status->toPlainText().endsWith("Programming aborted"); }, 5000);
    };

    // A library step fails, with a long reason.
    const std::string why = "LoadFile failed: line 4099: data at 0x040000 is outside the "
                            "target's flash";
    lib->results["LoadFile"] = {0};
    lib->error_text = why;
    ASSERT_TRUE(run()) << status->toPlainText().toStdString();
    EXPECT_EQ(calls_under_hourglass, calls);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(reason->text().toStdString(), why);
    EXPECT_EQ(status->toolTip().toStdString(), why);
    EXPECT_TRUE(reason->isVisible());
    EXPECT_FALSE(progress->isVisible()); // the one-line bar makes way for the reason
    EXPECT_GE(reason->height(), reason->heightForWidth(reason->width())) << "the reason is cut";

    // A library that throws in the middle of the steps.
    lib->error_text.clear();
    lib->throws_in = "EraseFlash";
    calls = calls_under_hourglass = 0;
    ASSERT_TRUE(run()) << status->toPlainText().toStdString();
    EXPECT_EQ(lib->calls.back(), "CloseCom");
    EXPECT_EQ(calls, 8); // the seven steps up to EraseFlash, and CloseCom
    EXPECT_EQ(calls_under_hourglass, calls);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(reason->text(), "library fault in EraseFlash");

    // A run that goes through clears the last reason.
    lib->throws_in.clear();
    QTest::mouseClick(child<QPushButton>(view, "program"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status->toPlainText().endsWith("Programming finished"); }, 5000));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(reason->text().isEmpty());
    EXPECT_TRUE(status->toolTip().isEmpty());
    EXPECT_TRUE(progress->isVisible());
}

} // namespace
} // namespace trx::ui::qt
