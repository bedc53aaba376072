#pragma once

#include "ui/signal.hpp"

#include "ui/services.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace trx::testkit {

// Virtual time: advance() fires due timers and scheduled events in time order (ties in the
// order they were armed). No wall clock is read.
class VirtualClock : public ui::Clock {
public:
    using duration = std::chrono::nanoseconds;

    void attach(ui::Timer& timer) override;
    [[nodiscard]] ui::Alarm call_after(std::chrono::milliseconds delay,
                                       std::function<void()> fn) override;
    [[nodiscard]] duration now() const { return now_; }
    // Virtual time counted from k_start, so file time stamps in tests are known in advance.
    [[nodiscard]] std::chrono::system_clock::time_point utc_now() const override {
        return k_start + std::chrono::duration_cast<std::chrono::system_clock::duration>(now_);
    }
    [[nodiscard]] std::chrono::microseconds steady_now() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(now_);
    }
    static constexpr std::chrono::system_clock::time_point k_start{
        std::chrono::sys_days{std::chrono::year{2025} / 3 / 1} + std::chrono::hours{9} +
        std::chrono::minutes{30}};
    // One-shot event after delay.
    void schedule(duration delay, std::function<void()> fn);
    [[nodiscard]] bool has_scheduled() const { return !events_.empty(); }
    void advance(duration d);

private:
    struct Slot {
        ui::Timer* timer;
        bool armed;
        duration due;
        std::uint64_t seq;
    };
    struct Event {
        duration due;
        std::uint64_t seq;
        std::function<void()> fn;
    };
    void rearm(std::size_t slot);
    bool run_next(duration limit);

    duration now_{0};
    std::uint64_t seq_ = 0;
    std::vector<Slot> slots_;
    std::vector<Event> events_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::testkit
