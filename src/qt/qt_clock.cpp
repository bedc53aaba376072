#include "qt/qt_clock.hpp"

#include "qt/follow.hpp"

namespace trx::ui::qt {

void QtClock::attach(Timer& timer) {
    auto qt = std::make_unique<QTimer>(this);
    qt->setTimerType(Qt::PreciseTimer);
    QTimer* raw = qt.get();
    connect(raw, &QTimer::timeout, this, [&timer] { timer.fire(); });
    auto arm = [raw, &timer] {
        if (timer.timer_enabled() && !timer.resting() && timer.interval() > 0) {
            raw->start(timer.interval());
        } else {
            raw->stop();
        }
    };
    follow(raw, timer.armed, arm);
    arm();
    timers_.push_back(std::move(qt));
}

} // namespace trx::ui::qt

namespace trx::ui::qt {

Alarm QtClock::call_after(std::chrono::milliseconds delay, std::function<void()> fn) {
    auto live = std::make_shared<bool>(true);
    QTimer::singleShot(delay, Qt::PreciseTimer, this, [live, fn = std::move(fn)] {
        if (*live) {
            *live = false;
            fn();
        }
    });
    return Alarm(live);
}

} // namespace trx::ui::qt
