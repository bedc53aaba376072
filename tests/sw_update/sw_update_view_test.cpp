// The update window's Qt face: it shows its models, and a run in the real event loop keeps
// the library off the window thread while the windows wait and show progress.
#include "fake_flash.hpp"

#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"
#include "ui/qt/bind.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_dialogs.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/sw_update_view.hpp"

#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

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
    EXPECT_EQ(child<QLabel>(view, "hexfilename")->text(), "/tmp/a.h86");
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

TEST(SwUpdateView, ARunKeepsTheLibraryOffTheWindowThreadAndTheWindowsStill) {
    testkit::VirtualClock line_time; // the fake line's clock; it never needs to move here
    testkit::FakeSerialPort port(line_time);
    QtClock clock;
    testkit::RecordedDialogs dialogs;
    QtEventPump pump;
    platform::StdFiles files(std::filesystem::temp_directory_path());
    main::Program program({port, clock, dialogs, pump, files});
    SwUpdateView view(program.sw_update_form());

    auto lib = std::make_shared<sw_update::testing::FakeFlash>();
    lib->progress_steps = {{0, 2}, {1, 2}, {2, 2}};
    const auto ui_thread = std::this_thread::get_id();
    std::vector<std::thread::id> call_threads;
    lib->during = [&](const std::string& call) {
        call_threads.push_back(std::this_thread::get_id());
        if (call == "EraseFlash" || call == "ProgramFlash") {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    };
    program.set_flash_library(lib);

    // The toolbar opens the port and shows the window; here the test does it.
    program.shared().port_name = "COM1";
    port.set_port_name("COM1");
    ASSERT_TRUE(port.open().ok);
    program.sw_update_form().window.show();
    const auto hex = std::filesystem::temp_directory_path() /
                     ("trx_view_" + std::to_string(::getpid()) + ".h86");
    std::ofstream(hex, std::ios::binary) << ":08000000FA000002E6F0CB005B\r\n:00000001FF\r\n";
    dialogs.answer_file_dialog(hex.string());
    QTest::mouseClick(child<QPushButton>(view, "openbutton"), Qt::LeftButton);

    auto* progress = child<QProgressBar>(view, "progress");
    auto* close = child<QPushButton>(view, "closebutton");
    int reports_while_blocked = 0;
    QObject::connect(progress, &QProgressBar::valueChanged, progress, [&](int value) {
        if (value <= 0 || value >= progress->maximum()) {
            return;
        }
        if (view.cursor().shape() == Qt::WaitCursor && program.main_form().window.input_blocked()) {
            ++reports_while_blocked;
        }
        QTest::mouseClick(close, Qt::LeftButton); // must not reach the window
    });
    QTest::mouseClick(child<QPushButton>(view, "program"), Qt::LeftButton);

    auto* status = child<QPlainTextEdit>(view, "status");
    const bool finished = QTest::qWaitFor(
        [&] { return status->toPlainText().endsWith("Programming finished"); }, 5000);
    ASSERT_TRUE(finished) << status->toPlainText().toStdString();

    EXPECT_EQ(status->toPlainText().count('\n'), 10);
    EXPECT_EQ(status->palette().color(QPalette::Text), QColor(0, 192, 0));
    std::filesystem::remove(hex);
    ASSERT_EQ(call_threads.size(), 9U); // the nine steps, each once
    for (const auto& id : call_threads) {
        EXPECT_NE(id, ui_thread);
    }
    EXPECT_GT(reports_while_blocked, 0);
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(progress->value(), progress->maximum());
    EXPECT_NE(view.cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(port.is_open());
    EXPECT_TRUE(child<QPushButton>(view, "program")->isEnabled());
}

} // namespace
} // namespace trx::ui::qt
