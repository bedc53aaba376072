// trx81500-cli: the scanner from scripts, on Qt's serial port, timers and event loop, with
// no window: the same serial layer as the program.
#include "base/version.hpp"
#include "cli/backup_hook.hpp"
#include "cli/cli.hpp"
#include "cli/stderr_log.hpp"
#include "flashlib/dll_interface.hpp"
#include "history/station_history.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/text_files.hpp"
#include "platform/std_files.hpp"
#include "platform/system_port_diagnosis.hpp"
#include "platform/system_port_listener.hpp"
#include "platform/system_serial_devices.hpp"
#include "qt/qt_any_port.hpp"
#include "qt/qt_clock.hpp"
#include "qt/qt_event_pump.hpp"
#include "qt/stop_signals.hpp"
#include "service/firmware_keeper.hpp"

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr std::chrono::seconds k_history_settle{10};
} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("trx81500-cli");
    // SIGINT and SIGTERM end a wait of the session.
    const trx::ui::qt::StopSignals stop_signals;

    trx::ui::qt::QtAnyPort port;
    trx::ui::qt::QtClock clock;
    trx::ui::qt::QtEventPump pump;
    // TRX81500_DEVICE_FOLDER: the devices of another folder than /dev, so that a search can
    // be shown devices of one's own (pseudo-terminals) and not the machine's ports.
    const char* device_folder = std::getenv("TRX81500_DEVICE_FOLDER");
    const trx::platform::SystemSerialDevices devices(
        device_folder != nullptr && *device_folder != '\0' ? device_folder : "/dev");
    const trx::platform::SystemPortDiagnosis device_diagnosis;
    trx::platform::SystemPortListener listener(&device_diagnosis);
    const trx::ui::qt::NetworkAwareDiagnosis diagnosis(device_diagnosis);
    // The program's backups: the same data folder, so either front finds the other's.
    trx::parafile::TextFiles files;
    trx::parafile::BackupStore backups(files, trx::platform::StdFiles::default_data_folder());
    // The service history: written on a thread of its own, so no command waits for it.
    trx::history::StationHistory history(trx::platform::StdFiles::default_config_folder(),
                                         trx::platform::StdFiles::default_data_folder(),
                                         "trx81500 " + std::string(trx::k_version), files);
    history.link_backups(backups);
    trx::cli::Cli cli({
        .port = port,
        .clock = clock,
        .pump = pump,
        .now = [] { return std::chrono::steady_clock::now().time_since_epoch(); },
        .interrupted = [] { return trx::ui::qt::StopSignals::raised(); },
        .stop_notice = [](std::string_view text) { trx::ui::qt::StopSignals::set_notice(text); },
        .out = std::cout,
        .err = std::cerr,
        .files = files,
        .err_is_terminal = ::isatty(STDERR_FILENO) == 1,
        .devices = &devices,
        .listener = &listener,
        .flash_library = [] { return std::make_unique<trx::flash::Dll_interface>(); },
        .backup_before_store = trx::cli::backup_before_store(backups, clock),
        .keep_firmware = trx::service::keep_firmware_in(backups, clock),
        .diagnosis = &diagnosis,
        // --log and -v: the log on stderr, stamped with the wall clock's UTC time.
        .open_log =
            [](trx::ui::LogLevel level) {
                return std::make_unique<trx::cli::StderrLog>(
                    std::cerr, level, [] { return std::chrono::system_clock::now(); });
            },
        .history = &history.recorder(),
        .open_history = [&history] { return history.open_for_reading(k_history_settle); },
    });
    const int status = cli.run(args);
    std::cout.flush();
    // What the command recorded is written (and sent on) before the tool ends; what cannot be
    // waits for the next run, and the reason is told once.
    if (!history.settle(k_history_settle)) {
        if (const std::string why = history.trouble(); !why.empty()) {
            std::cerr << "trx81500-cli: warning: " << why << '\n';
        }
    }
    return status;
}
