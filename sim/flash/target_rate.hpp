#pragma once

#include "flashlib/protocol.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace trx::sim {

namespace proto = flash::proto;

// Misbehaviour of a target around rate switches, for tests.
struct RateFaults {
    bool ignore_requests = false;           // RATE frames get no answer
    std::optional<std::uint32_t> switch_to; // acknowledges, then runs at this rate instead
    bool mute_when_raised = false;          // sends nothing while above 57600
};

// The target's side of a rate switch (docs/flash-protocol.md, "Rate negotiation"): the rate
// its port runs at, back at 57600 when a switch is not proven by a well-formed frame within
// 300 ms, or after 2 s at a raised rate without a well-formed frame while it has no work.
class TargetRate {
public:
    using Time = std::chrono::nanoseconds;

    TargetRate(std::vector<std::uint32_t> offered, RateFaults faults)
        : offered_(std::move(offered)), faults_(faults) {}

    [[nodiscard]] std::uint32_t rate() const { return rate_; }
    [[nodiscard]] const std::vector<std::uint32_t>& offered() const { return offered_; }
    [[nodiscard]] bool muted() const { return faults_.mute_when_raised && rate_ != base(); }
    // Switches performed and falls back to 57600 by the target's own bounds.
    [[nodiscard]] std::uint64_t switches() const { return switches_; }
    [[nodiscard]] std::uint64_t fallbacks() const { return fallbacks_; }

    // The answer to a RATE request, nullopt for none; the port changes once it is out.
    std::optional<proto::Frame> on_request(const proto::Frame& f, bool busy, Time now);
    void on_good_frame(Time now);
    void poll(Time now, bool working);
    void reset() {
        rate_ = base();
        proving_ = false;
    }

private:
    static constexpr std::uint32_t base() { return proto::k_base_rate; }
    void fall_back();

    std::vector<std::uint32_t> offered_;
    RateFaults faults_;
    std::uint32_t rate_ = base();
    bool proving_ = false;
    Time switched_at_{};
    Time quiet_since_{};
    std::uint64_t switches_ = 0;
    std::uint64_t fallbacks_ = 0;
};

} // namespace trx::sim
