#pragma once

#include "flashlib/host_link.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace trx::flash {

// The line's rate for the transfer (docs/flash-protocol.md, "Rate negotiation"): after HELLO
// the fastest rate that the target offers and the port takes, proven by an echo; one notch
// down after a run of damaged exchanges; back at 57600 on any doubt and before the port is
// released. RATE and PROBE frames stand outside the sequence, so the transfer's numbers and
// the target's repeat answers are untouched by a switch.
class RateSwitch {
public:
    using Duration = Transport::Duration;

    RateSwitch(Transport& transport, HostLink& link) : transport_(transport), link_(link) {}

    // The highest rate to use; 57600 (or less) turns the negotiation off.
    void set_max(std::uint32_t baud) { max_ = baud; }
    [[nodiscard]] std::uint32_t rate() const { return rate_; }
    [[nodiscard]] bool raised() const { return rate_ != proto::k_base_rate; }

    // Switches to the fastest of `offered` that holds; stays at 57600 when none does. Fails
    // only when the target no longer answers at 57600 either.
    Outcome negotiate(const std::vector<std::uint32_t>& offered);
    // After a run of damaged exchanges: back to 57600, then the rates below the present one.
    // nullopt when the line runs at 57600 already (nothing to lower).
    std::optional<Outcome> step_down();
    // Back to 57600 before the port goes: the target is asked along unless it restarts
    // (after GO) anyway.
    void leave(bool target_restarts);

private:
    enum class Tried { holds, refused, no_answer, lost };

    Tried try_rate(std::uint32_t baud);
    [[nodiscard]] std::optional<proto::Frame>
    exchange(const proto::Frame& f, proto::Type reply_type, Duration wait, int tries);
    bool prove();
    bool ask_target_down();
    bool echo_at_base();
    Outcome back_to_base();
    bool set_port(std::uint32_t baud);
    [[nodiscard]] std::uint16_t control_seq() { return control_seq_++; }

    Transport& transport_;
    HostLink& link_;
    std::uint32_t max_ = 0xFFFFFFFFU;
    std::uint32_t rate_ = proto::k_base_rate;
    std::vector<std::uint32_t> offered_;
    Duration switched_at_{};      // when both sides last left 57600
    Duration last_raised_send_{}; // the host's last frame at a raised rate
    // Numbers of RATE and PROBE frames: a space of their own, far from the transfer's.
    std::uint16_t control_seq_ = 0xC000;
};

} // namespace trx::flash
