#include "service/waiter.hpp"

#include <algorithm>

namespace trx::service {

Waiter::End Waiter::wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    bool expired = false;
    const ui::Alarm alarm = clock_.call_after(std::max(limit, std::chrono::milliseconds(1)),
                                              [&expired] { expired = true; });
    const bool pumped = pump_.pump_until([&] { return done() || expired || interrupted(); });
    if (done()) {
        return End::done;
    }
    if (!pumped || interrupted()) {
        return End::interrupted;
    }
    return End::timed_out;
}

Waiter::End Waiter::pause(std::chrono::milliseconds span) {
    const End end = wait_for([] { return false; }, span);
    return end == End::timed_out ? End::done : end;
}

} // namespace trx::service
