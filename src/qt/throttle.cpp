#include "qt/throttle.hpp"

#include <algorithm>
#include <utility>

namespace trx::ui::qt {

Throttle::Throttle(int min_interval_ms, std::function<void()> action, QObject* owner)
    : min_interval_ms_(min_interval_ms), action_(std::move(action)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, owner, [this] { run_now(); });
    since_last_.start();
}

void Throttle::request() {
    if (timer_.isActive()) {
        return;
    }
    const auto waited = static_cast<int>(
        std::min<qint64>(since_last_.elapsed(), static_cast<qint64>(min_interval_ms_)));
    timer_.start(min_interval_ms_ - waited);
}

void Throttle::run_now() {
    timer_.stop();
    since_last_.restart();
    action_();
}

} // namespace trx::ui::qt
