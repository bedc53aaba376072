#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace trx::ui {

// A minimal synchronous signal: handlers run in connection order, on the caller's
// thread, before emit() returns. Handlers connected while it is raised run from the next raise on.
template <class... Args> class Signal {
public:
    using Slot = std::function<void(Args...)>;

    void connect(Slot slot) { slots_.push_back(std::move(slot)); }

    void raise(Args... args) const {
        const std::size_t n = slots_.size();
        for (std::size_t i = 0; i < n; ++i) {
            slots_[i](args...);
        }
    }

    [[nodiscard]] bool empty() const { return slots_.empty(); }

private:
    std::vector<Slot> slots_;
};

} // namespace trx::ui
