#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

namespace trx::ui::qt {

// SIGINT and SIGTERM, handed to the event loop: `on_stop` runs there, so that a process ended
// by Ctrl+C or by the session's end closes its port (and the port's lock file) as it would on
// its own. A second signal ends the process at once. Signals are process-wide: one instance
// at a time.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> on_stop = {});
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    StopSignals(StopSignals&&) = delete;
    StopSignals& operator=(StopSignals&&) = delete;

    // Whether a signal arrived; safe to ask at any time, also inside a wait.
    [[nodiscard]] static bool raised();

    // What the first signal writes to stderr at once, from the signal itself, so that a step
    // that blocks the event loop for many seconds still answers Ctrl+C; empty: nothing. Longer
    // texts are cut at k_notice_limit bytes.
    static void set_notice(std::string_view text);
    static constexpr std::size_t k_notice_limit = 512;

private:
    std::function<void()> on_stop_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace trx::ui::qt
