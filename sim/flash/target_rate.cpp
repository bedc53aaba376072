#include "sim/flash/target_rate.hpp"

#include <algorithm>

namespace trx::sim {

using proto::Frame;
using proto::Status;

std::optional<Frame> TargetRate::on_request(const Frame& f, bool busy, Time now) {
    if (faults_.ignore_requests) {
        return std::nullopt;
    }
    proto::Reader r(f.payload);
    const std::uint32_t baud = r.u32();
    if (!r.ok() || !r.at_end()) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    // Work still in hand answers at the rate it was asked at.
    if (busy) {
        return proto::make_ack(f.seq, {Status::busy, 0});
    }
    const bool offered =
        baud == base() || std::find(offered_.begin(), offered_.end(), baud) != offered_.end();
    if (!offered) {
        return proto::make_ack(f.seq, {Status::bad_request, baud});
    }
    ++switches_;
    rate_ = baud == base() ? base() : faults_.switch_to.value_or(baud);
    proving_ = rate_ != base();
    switched_at_ = now;
    quiet_since_ = now;
    return Frame{proto::Type::rate_reply, f.seq, proto::Writer().u32(baud).take()};
}

void TargetRate::on_good_frame(Time now) {
    proving_ = false;
    quiet_since_ = now;
}

void TargetRate::fall_back() {
    rate_ = base();
    proving_ = false;
    ++fallbacks_;
}

void TargetRate::poll(Time now, bool working) {
    if (rate_ == base()) {
        return;
    }
    if (proving_ && now - switched_at_ > proto::k_target_prove_wait) {
        fall_back();
        return;
    }
    if (working) {
        quiet_since_ = now;
        return;
    }
    if (now - quiet_since_ > proto::k_raised_silence) {
        fall_back();
    }
}

} // namespace trx::sim
