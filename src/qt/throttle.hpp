#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace trx::ui::qt {

// Runs an action at most once per interval: requests in between are gathered into the next
// run, so a burst of model changes costs a view a few repaints a second, not one per change.
// The first request after a quiet interval runs on the next pass of the event loop.
class Throttle {
public:
    Throttle(int min_interval_ms, std::function<void()> action, QObject* owner);

    void request();
    // Runs the action now and starts a fresh interval.
    void run_now();

private:
    int min_interval_ms_;
    std::function<void()> action_;
    QTimer timer_;
    QElapsedTimer since_last_;
};

} // namespace trx::ui::qt
