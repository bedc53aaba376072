// trx81500-cli: the scanner from scripts, on Qt's serial port, timers and event loop, with
// no window: the same serial layer as the program.
#include "cli/cli.hpp"
#include "flashlib/dll_interface.hpp"
#include "platform/system_port_diagnosis.hpp"
#include "platform/system_serial_devices.hpp"
#include "ui/qt/qt_clock.hpp"
#include "ui/qt/qt_event_pump.hpp"
#include "ui/qt/qt_serial_port.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A signal handler can reach nothing but process-wide state: the flag it sets and the pipe
// that wakes the event loop, so that a wait notices at once. Written only by the handler.
std::atomic<bool> interrupted_flag{false};
std::array<int, 2> wake_pipe{-1, -1};

extern "C" void on_stop_signal(int signal) {
    interrupted_flag.store(true);
    const int saved = errno;
    const char byte = 1;
    // Fortified builds insist on the result; a full pipe already wakes the loop.
    [[maybe_unused]] const ssize_t woke = ::write(wake_pipe[1], &byte, 1);
    errno = saved;
    // A second Ctrl+C ends the tool at once, even inside a long flash library step.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(signal, &dfl, nullptr);
}

// SIGINT and SIGTERM end a wait of the session; the notifier drains the pipe.
std::unique_ptr<QSocketNotifier> watch_stop_signals() {
    if (::pipe2(wake_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return nullptr;
    }
    struct sigaction sa = {};
    sa.sa_handler = on_stop_signal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(wake_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        std::array<char, 16> drain{};
        while (::read(wake_pipe[0], drain.data(), drain.size()) > 0) {
        }
    });
    return notifier;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("trx81500-cli");
    const auto stop_watch = watch_stop_signals();

    trx::ui::qt::QtSerialPort port;
    trx::ui::qt::QtClock clock;
    trx::ui::qt::QtEventPump pump;
    const trx::platform::SystemSerialDevices devices;
    const trx::platform::SystemPortDiagnosis diagnosis;
    trx::cli::Cli cli({
        .port = port,
        .clock = clock,
        .pump = pump,
        .now = [] { return std::chrono::steady_clock::now().time_since_epoch(); },
        .interrupted = [] { return interrupted_flag.load(); },
        .out = std::cout,
        .err = std::cerr,
        .err_is_terminal = ::isatty(STDERR_FILENO) == 1,
        .devices = &devices,
        .flash_library = [] { return std::make_unique<trx::flash::Dll_interface>(); },
        .backup_before_store = {},
        .diagnosis = &diagnosis,
    });
    const int status = cli.run(args);
    std::cout.flush();
    return status;
}
