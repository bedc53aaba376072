// The main window with the program running against trx81500-sim, to look at by eye; not run
// by ctest. Options: --type ZA|YA, --filter (check "only filtered tags"), --shot FILE (save
// the window once a few scans have shown, then quit).
#include "main/program.hpp"
#include "platform/std_files.hpp"
#include "sim_host.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_pump.hpp"
#include "ui/qt/main_view.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_dialogs.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/qt_serial_port.hpp"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::string type = "YA";
    bool filter = false;
    QString shot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--type" && i + 1 < argc) {
            type = argv[++i];
        } else if (a == "--filter") {
            filter = true;
        } else if (a == "--shot" && i + 1 < argc) {
            shot = QString::fromLocal8Bit(argv[++i]);
        }
    }

    trx::ui::qt::QtSerialPort port;
    trx::ui::qt::QtClock clock;
    trx::testkit::RecordedDialogs dialogs;
    trx::ui::qt::QtEventPump pump;
    const auto folder = std::filesystem::temp_directory_path() / "trx_live_viewer";
    std::filesystem::create_directories(folder);
    trx::platform::StdFiles files(folder);
    trx::monitor::test::SimulatorHost simulator;
    simulator.executable = TRX_SIM_EXE;
    simulator.args = {"--type", type};
    trx::main::Program program({port, clock, dialogs, pump, files, nullptr, &simulator});
    const auto quit = program.ended_signal.connect([] { QApplication::quit(); });
    trx::ui::qt::MainView view(program.main_form());
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
    // The filter can be reached once a "YA" parameter reply has shown it.
    QTimer::singleShot(3000, &view, [&form, filter] {
        if (filter) {
            form.Check1.user_click();
        }
    });
    if (!shot.isEmpty()) {
        QTimer::singleShot(4500, &view, [&view, shot] {
            const bool saved = view.grab().save(shot);
            std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                         shot.toLocal8Bit().constData());
            QApplication::quit();
        });
    }
    const int rc = QApplication::exec();
    simulator.stop();
    return rc;
}
