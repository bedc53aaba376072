#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

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

private:
    std::function<void()> on_stop_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace trx::ui::qt
