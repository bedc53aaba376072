#include "qt/stop_signals.hpp"

#include <algorithm>
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
// The notice: its length is zero while the text is being replaced, so the handler never
// writes half of an old and half of a new one.
std::array<char, StopSignals::k_notice_limit> notice_text{};
std::atomic<std::size_t> notice_size{0};

extern "C" void on_stop_signal(int signal) {
    const bool first = !raised_flag.exchange(true);
    const int saved = errno;
    if (const std::size_t n = notice_size.load(); first && n > 0) {
        [[maybe_unused]] const ssize_t told = ::write(STDERR_FILENO, notice_text.data(), n);
    }
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

void StopSignals::set_notice(std::string_view text) {
    notice_size.store(0);
    const std::size_t n = std::min(text.size(), notice_text.size());
    std::copy_n(text.data(), n, notice_text.data());
    notice_size.store(n);
}

} // namespace trx::ui::qt
