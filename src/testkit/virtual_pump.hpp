#pragma once

#include "testkit/virtual_clock.hpp"
#include "ui/services.hpp"

#include <functional>

namespace trx::testkit {

// Waits in virtual time: each step advances the clock by 1 ms. A wait that no scheduled
// event can end throws instead of hanging.
class VirtualPump : public ui::EventPump {
public:
    explicit VirtualPump(VirtualClock& clock) : clock_(clock) {}
    bool pump_until(const std::function<bool()>& done) override;
    void run_blocking(const std::function<void()>& work) override { work(); }
    void post(std::function<void()> fn) override { fn(); }
    void quit() override { quitting_ = true; }

private:
    VirtualClock& clock_;
    bool quitting_ = false;
};

} // namespace trx::testkit
