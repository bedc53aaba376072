#include "testkit/virtual_clock.hpp"

#include <memory>
#include <utility>

namespace trx::testkit {

void VirtualClock::attach(ui::Timer& timer) {
    const std::size_t index = slots_.size();
    slots_.push_back({&timer, false, {}, 0});
    connections_ += timer.armed.connect([this, index] { rearm(index); });
    rearm(index);
}

void VirtualClock::rearm(std::size_t slot) {
    auto& s = slots_[slot];
    s.armed = s.timer->timer_enabled() && !s.timer->resting() && s.timer->interval() > 0;
    s.due = now_ + std::chrono::milliseconds(s.timer->interval());
    s.seq = ++seq_;
}

void VirtualClock::schedule(duration delay, std::function<void()> fn) {
    events_.push_back({now_ + delay, ++seq_, std::move(fn)});
}

ui::Alarm VirtualClock::call_after(std::chrono::milliseconds delay, std::function<void()> fn) {
    auto live = std::make_shared<bool>(true);
    schedule(delay, [live, fn = std::move(fn)] {
        if (*live) {
            *live = false;
            fn();
        }
    });
    return ui::Alarm(live);
}

void VirtualClock::advance(duration d) {
    const duration target = now_ + d;
    while (run_next(target)) {
    }
    now_ = target;
}

bool VirtualClock::run_next(duration limit) {
    // Find the earliest due item; timers and events compete by (due, seq).
    const Slot* best_slot = nullptr;
    std::size_t best_slot_index = 0;
    std::size_t best_event = events_.size();
    duration best_due = limit;
    std::uint64_t best_seq = UINT64_MAX;
    auto better = [&](duration due, std::uint64_t seq) {
        return due < best_due || (due == best_due && seq < best_seq);
    };
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const auto& s = slots_[i];
        if (s.armed && s.due <= limit && better(s.due, s.seq)) {
            best_slot = &s;
            best_slot_index = i;
            best_due = s.due;
            best_seq = s.seq;
        }
    }
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const auto& e = events_[i];
        if (e.due <= limit && better(e.due, e.seq)) {
            best_slot = nullptr;
            best_event = i;
            best_due = e.due;
            best_seq = e.seq;
        }
    }
    if (best_slot != nullptr) {
        now_ = best_due;
        auto& s = slots_[best_slot_index];
        s.due = now_ + std::chrono::milliseconds(s.timer->interval());
        s.seq = ++seq_;
        s.timer->fire();
        return true;
    }
    if (best_event < events_.size()) {
        now_ = best_due;
        auto fn = std::move(events_[best_event].fn);
        events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(best_event));
        fn();
        return true;
    }
    return false;
}

} // namespace trx::testkit
