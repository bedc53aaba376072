// The program's three windows against trx81500-sim, to look at by eye and to take the
// pictures of the documentation; not run by ctest. Options:
//   --type ZA|YA       the simulated scanner type (YA)
//   --filter           check "only filtered tags" once the filter box shows
//   --end              scroll the tables to their last rows (the widest row numbers)
//   --window W         main, para or sw_update: the window --shot saves (main)
//   --menu             with --window main: the diagnostics menu of status bar panel 2 open
//   --hex FILE         with --window sw_update: choose FILE and press "Program"
//   --stale            with --window main: close the port after a few scans, so the last scan
//                      shows as old
//   --caption NAME     with --stale: the port button offers "Open NAME", as after choosing a
//                      capture of that name for "Replay..."
//   --shot FILE        save the window once it shows what it is for, then quit
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "qt/main_view.hpp"
#include "qt/para_view.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_picture_renderer.hpp"
#include "qt/qt_serial_port.hpp"
#include "qt/sw_update_view.hpp"
#include "sim_host.hpp"
#include "testkit/recorded_dialogs.hpp"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace {

struct Options {
    std::string type = "YA";
    bool filter = false;
    bool end = false;
    bool menu = false;
    bool stale = false;
    std::string caption;
    std::string window = "main";
    std::string hex;
    QString shot;
};

Options parse(int argc, char* argv[]) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--type" && more) {
            o.type = argv[++i];
        } else if (a == "--filter") {
            o.filter = true;
        } else if (a == "--end") {
            o.end = true;
        } else if (a == "--menu") {
            o.menu = true;
        } else if (a == "--stale") {
            o.stale = true;
        } else if (a == "--caption" && more) {
            o.caption = argv[++i];
        } else if (a == "--window" && more) {
            o.window = argv[++i];
        } else if (a == "--hex" && more) {
            o.hex = argv[++i];
        } else if (a == "--shot" && more) {
            o.shot = QString::fromLocal8Bit(argv[++i]);
        }
    }
    return o;
}

// The widget as it shows, with a pop-up menu that is open over it; in the widget's logical
// pixels, at the screen's device pixel ratio.
QPixmap picture_of(QWidget& view) {
    QPixmap shot = view.grab();
    for (QMenu* menu : view.findChildren<QMenu*>()) {
        if (!menu->isVisible()) {
            continue;
        }
        const QPoint at = view.mapFromGlobal(menu->pos());
        const QSize logical = shot.deviceIndependentSize().toSize().expandedTo(
            QSize(at.x() + menu->width(), at.y() + menu->height()));
        const qreal ratio = shot.devicePixelRatio();
        QPixmap whole(logical * ratio);
        whole.setDevicePixelRatio(ratio);
        whole.fill(Qt::white);
        QPainter p(&whole);
        p.drawPixmap(0, 0, shot);
        p.drawPixmap(at, menu->grab());
        p.end();
        shot = whole;
    }
    return shot;
}

// A click on status bar panel `index` as the mouse gives it.
void click_panel(trx::ui::qt::MainView& view, std::size_t index) {
    QLabel* panel = view.status_bar()->panel(index);
    const QPointF at(panel->width() / 2.0, panel->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, panel->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, panel->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &press);
    QApplication::sendEvent(panel, &release);
}

// Saves the widget once, `delay_ms` after `ready` first holds, and quits.
void shoot_when(QWidget& view, const QString& file, int delay_ms, std::function<bool()> ready) {
    auto* poll = new QTimer(&view);
    QObject::connect(poll, &QTimer::timeout, &view, [poll, &view, file, delay_ms, ready] {
        if (!ready()) {
            return;
        }
        poll->stop();
        QTimer::singleShot(delay_ms, &view, [&view, file] {
            const bool saved = picture_of(view).save(file);
            std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                         file.toLocal8Bit().constData());
            QApplication::exit(saved ? 0 : 1);
        });
    });
    poll->start(100);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const Options opt = parse(argc, argv);
    // The pointer out of the way, so no button shows as hovered in a picture.
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    // The built-in flash library from the build tree, unless one is named already.
    ::setenv("TRX_FLASH_LIBRARY", TRX_FLASH_LIBRARY, 0);

    trx::ui::qt::QtSerialPort port;
    trx::ui::qt::QtClock clock;
    trx::testkit::RecordedDialogs dialogs;
    trx::ui::qt::QtEventPump pump;
    const auto folder = std::filesystem::temp_directory_path() / "trx_live_viewer";
    std::filesystem::create_directories(folder);
    trx::platform::StdFiles files(folder);
    trx::monitor::test::SimulatorHost simulator;
    simulator.executable = TRX_SIM_EXE;
    simulator.args = {"--type", opt.type};
    trx::ui::qt::QtPictureRenderer renderer;
    trx::main::Program program({port, clock, dialogs, pump, files, nullptr, &simulator, nullptr,
                                nullptr, nullptr, &renderer});
    const auto quit = program.ended_signal.connect([] { QApplication::quit(); });
    trx::ui::qt::MainView view(program.main_form());
    trx::ui::qt::ParaView para_view(program.para_form());
    trx::ui::qt::SwUpdateView sw_view(program.sw_update_form());
    program.start();

    // The port is opened once the link shows offline, as a technician would: a link that
    // comes up earlier gets no parameter request.
    auto& form = program.main_form();
    QTimer::singleShot(700, &view, [&form, &port] {
        form.Toolbar1.user_choose("comport", "simulator");
        form.Toolbar1.user_click("comport");
        if (!port.is_open()) {
            std::fprintf(stderr, "the simulator's port did not open\n");
            QApplication::exit(1);
        }
    });

    // Each window gets its turn once the parameter reply has come.
    auto& para = program.para_form();
    auto& sw = program.sw_update_form();
    bool acted = false;
    auto replied = [&para, &opt] { return para.typ.caption() == opt.type; };
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, &view, [&] {
        if (acted || !replied()) {
            return;
        }
        acted = true;
        if (opt.filter) {
            form.Check1.user_click();
        }
        if (opt.end) {
            for (QAbstractScrollArea* grid : {view.data(), view.data2()}) {
                grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
            }
        }
        if (opt.window == "para") {
            form.Toolbar1.user_click("parameter");
        } else if (opt.window == "sw_update") {
            form.Toolbar1.user_click("software");
            if (!opt.hex.empty()) {
                dialogs.answer_file_dialog(opt.hex);
                sw.openbutton.user_click();
                sw.program.user_click();
            }
        }
    });
    turn.start(100);

    if (!opt.shot.isEmpty()) {
        if (opt.window == "para") {
            shoot_when(para_view, opt.shot, 600, [&] { return acted && para.window.shown(); });
        } else if (opt.window == "sw_update") {
            shoot_when(sw_view, opt.shot, 600, [&] {
                const bool ended = sw.status.text().find("Programming") != std::string::npos;
                return acted && sw.window.shown() &&
                       (opt.hex.empty() || (ended && sw.openbutton.enabled()));
            });
        } else {
            // A few scans after the reply, so the tables and the picture are full, and while
            // the blinking link panel reads "online".
            // With the menu, it opens first and has a moment to show.
            shoot_when(view, opt.shot,
                       opt.stale  ? 700
                       : opt.menu ? 300
                                  : 0,
                       [&, since = std::make_shared<int>(0)] {
                           const bool ready =
                               acted && ++*since > 15 && form.StatusBar1.panel(1) == "online";
                           if (ready && opt.stale) {
                               // Closed after a live scan: the old scan stays, marked.
                               form.Toolbar1.user_click("comport");
                               if (!opt.caption.empty()) {
                                   form.Toolbar1.set_caption("comport", "Open " + opt.caption);
                               }
                               return true;
                           }
                           if (ready && opt.menu) {
                               click_panel(view, 2);
                           }
                           return ready;
                       });
        }
        QTimer::singleShot(60000, &view, [] {
            std::fprintf(stderr, "the window did not get ready in time\n");
            QApplication::exit(1);
        });
    }
    const int rc = QApplication::exec();
    simulator.stop();
    return rc;
}
