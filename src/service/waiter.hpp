#pragma once

#include "ui/services.hpp"

#include <chrono>
#include <functional>

namespace trx::service {

// Time without controls: a bounded wait and a pause on the clock service and the event pump,
// for the blocking steps of a script. Every wait ends early when the user interrupts or the
// program shuts down; what else ends it is the caller's condition.
class Waiter {
public:
    enum class End { done, timed_out, interrupted };

    // interrupted: whether the user asked to stop (empty: never).
    Waiter(ui::Clock& clock, ui::EventPump& pump, std::function<bool()> interrupted = {})
        : clock_(clock), pump_(pump), interrupted_(std::move(interrupted)) {}

    // Until done() holds or limit has passed. An answer wins over a time-out that fell due
    // with it.
    End wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // The whole span, unless interrupted.
    End pause(std::chrono::milliseconds span);
    [[nodiscard]] bool interrupted() const { return interrupted_ && interrupted_(); }

    [[nodiscard]] ui::Clock& clock() const { return clock_; }

private:
    ui::Clock& clock_;
    ui::EventPump& pump_;
    std::function<bool()> interrupted_;
};

} // namespace trx::service
