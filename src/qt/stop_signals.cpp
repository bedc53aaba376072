#include "qt/stop_signals.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace trx::ui::qt {

namespace {

// A signal handler can reach nothing but process-wide state: the flag it sets and the pipe
// that wakes the event loop, so that a wait notices at once. Written only by the handler.
std::atomic<bool> raised_flag{false};
std::array<int, 2> wake_pipe{-1, -1};

extern "C" void on_stop_signal(int signal) {
    raised_flag.store(true);
    const int saved = errno;
    const char byte = 1;
    // Fortified builds insist on the result; a full pipe already wakes the loop.
    [[maybe_unused]] const ssize_t woke = ::write(wake_pipe[1], &byte, 1);
    errno = saved;
    // A second signal ends the process at once, even inside a long blocking step.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(signal, &dfl, nullptr);
}

void set_handlers(void (*handler)(int)) {
    struct sigaction sa = {};
    sa.sa_handler = handler;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

StopSignals::StopSignals(std::function<void()> on_stop) : on_stop_(std::move(on_stop)) {
    if (::pipe2(wake_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    set_handlers(on_stop_signal);
    notifier_ = std::make_unique<QSocketNotifier>(wake_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        std::array<char, 16> drain{};
        while (::read(wake_pipe[0], drain.data(), drain.size()) > 0) {
        }
        if (on_stop_) {
            on_stop_();
        }
    });
}

StopSignals::~StopSignals() {
    if (!notifier_) {
        return;
    }
    set_handlers(SIG_DFL);
    notifier_.reset();
    for (int& fd : wake_pipe) {
        ::close(fd);
        fd = -1;
    }
}

bool StopSignals::raised() {
    return raised_flag.load();
}

} // namespace trx::ui::qt
