// The TRX 81500 service tool: the program logic on Qt's serial port, timers and dialogs.
#include "base/version.hpp"
#include "main/port_at_start.hpp"
#include "main/program.hpp"
#include "platform/simulator_process_host.hpp"
#include "platform/std_files.hpp"
#include "platform/system_port_diagnosis.hpp"
#include "platform/system_port_listener.hpp"
#include "platform/system_serial_devices.hpp"
#include "qt/first_paint.hpp"
#include "qt/history_view.hpp"
#include "qt/logo.hpp"
#include "qt/main_view.hpp"
#include "qt/para_view.hpp"
#include "qt/qt_address_prompt.hpp"
#include "qt/qt_any_port.hpp"
#include "qt/qt_choice_prompt.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_dialogs.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/qt_log.hpp"
#include "qt/qt_picture_renderer.hpp"
#include "qt/quality_view.hpp"
#include "qt/stop_signals.hpp"
#include "qt/sw_update_view.hpp"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

#include <chrono>
#include <iostream>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view k_usage =
    "Usage: trx81500 [--port NAME] [--log]\n"
    "Service tool for the TRX81500 rotating laser scanner.\n"
    "  --port NAME  open this port at start: COM1 ... COM10, a device such as /dev/ttyUSB0,\n"
    "               Simulator (the bundled scanner simulator), or a network port\n"
    "               socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (RFC 2217)\n"
    "  --log        every diagnostic on stderr (or choose with QT_LOGGING_RULES=\"trx.*=true\")\n"
    "  --help, --version\n";

// --help and --version are answered before any window system is needed.
bool answered(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << k_usage;
            return true;
        }
        if (a == "--version") {
            std::cout << "trx81500 " << trx::k_version << "\n";
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto started = std::chrono::steady_clock::now();
    if (answered(argc, argv)) {
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("TRX81500");
    QApplication::setApplicationVersion(
        QString::fromUtf8(trx::k_version.data(), static_cast<qsizetype>(trx::k_version.size())));
    // Wayland and the task bars match the windows to the desktop entry by this name.
    QApplication::setDesktopFileName("trx81500");
    // Drawn, not looked up: a desktop without an icon theme shows it all the same.
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(trx::ui::qt::draw_icon(128))));
    const QStringList args = QApplication::arguments();
    // "--log": every diagnostic category on stderr (otherwise QT_LOGGING_RULES decides).
    if (args.contains(QStringLiteral("--log"))) {
        trx::ui::qt::QtLog::enable_all();
    }

    trx::ui::qt::QtAnyPort port;
    trx::ui::qt::QtClock clock;
    trx::ui::qt::QtDialogs dialogs;
    trx::ui::qt::QtEventPump pump;
    trx::ui::qt::QtLog log;
    trx::platform::StdFiles files(QApplication::applicationDirPath().toStdString());
    trx::platform::SystemSerialDevices devices;
    trx::platform::SimulatorProcessHost simulator;
    const trx::platform::SystemPortDiagnosis device_diagnosis(log);
    const trx::ui::qt::NetworkAwareDiagnosis diagnosis(device_diagnosis);
    trx::ui::qt::QtPictureRenderer picture_renderer;
    trx::ui::qt::QtAddressPrompt address_prompt;
    trx::platform::SystemPortListener listener(&device_diagnosis);
    trx::ui::qt::QtChoicePrompt choice_prompt;
    trx::main::Program program({port, clock, dialogs, pump, files, &devices, &simulator, &log,
                                nullptr, &diagnosis, &picture_renderer, nullptr, &address_prompt,
                                &listener, &choice_prompt});
    const auto quit = program.ended_signal.connect([] { QApplication::quit(); });

    trx::ui::qt::MainView main_view(program.main_form());
    main_view.set_plan_extras(program.plan_extras());     // the picture's context menu
    trx::ui::qt::ParaView para_view(program.para_form()); // shown when its model is shown
    trx::ui::qt::SwUpdateView sw_update_view(program.sw_update_form());
    trx::ui::qt::QualityView quality_view(program.quality_form()); // diagnostics menu, Ctrl+Alt+S
    trx::ui::qt::HistoryView history_view(program.history_form()); // diagnostics menu, para window
    // "trx.startup": how long the main window took to appear (bench/startup.sh reads it).
    const trx::ui::qt::FirstPaint first_paint(main_view, [&log, started] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        log.write(trx::LogLevel::info, trx::log_category::startup,
                  "main window painted " + std::to_string(ms.count()) + " ms after start");
    });
    program.start();
    // Ended by the session or Ctrl+C: as by the close box, so the port and its lock file go.
    const trx::ui::qt::StopSignals stop_signals(
        [&program] { program.main_form().window.user_close(); });

    std::optional<trx::main::PortAtStart> port_at_start;
    if (const auto at = args.indexOf(QStringLiteral("--port")); at >= 0) {
        const std::string name = at + 1 < args.size() ? args[at + 1].toStdString() : "";
        port_at_start.emplace(
            program.main_form(), name,
            [name] { std::cerr << "trx81500: the port menu has no entry \"" << name << "\"\n"; },
            &program.main_window());
    }
    return QApplication::exec();
}
