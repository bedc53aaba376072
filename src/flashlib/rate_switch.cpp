#include "flashlib/rate_switch.hpp"

#include "base/numtext.hpp"

#include <algorithm>

namespace trx::flash {

using proto::Frame;
using proto::Type;

namespace {

constexpr auto k_margin = std::chrono::milliseconds(50);
constexpr std::size_t k_base_probe_bytes = 16;

std::string baud_text(std::uint32_t baud) {
    return num::dec(baud) + " baud";
}

// Every byte value once, so that the proof covers what COBS makes of each.
std::vector<std::uint8_t> probe_pattern(std::size_t size) {
    std::vector<std::uint8_t> p(size);
    for (std::size_t i = 0; i < size; ++i) {
        p[i] = static_cast<std::uint8_t>(i * 167 + 13);
    }
    return p;
}

} // namespace

bool RateSwitch::set_port(std::uint32_t baud) {
    const bool ok = transport_.set_rate(baud);
    if (ok) {
        rate_ = baud;
    }
    return ok;
}

// The answer to a control frame: its reply, or an ACK other than BUSY. BUSY (the target
// still works on earlier frames) waits on, within `tries` answer times.
std::optional<Frame> RateSwitch::exchange(const Frame& f, Type reply_type, Duration wait,
                                          int tries) {
    const Duration until = link_.now() + wait * (tries + 2);
    for (int sent = 0; sent < tries; ++sent) {
        if (raised()) {
            last_raised_send_ = link_.now();
        }
        if (!link_.send(f)) {
            return std::nullopt;
        }
        Duration deadline = std::min(until, link_.now() + wait);
        for (;;) {
            Incoming in = link_.receive(deadline);
            if (in.kind != Incoming::Kind::frame) {
                break;
            }
            if (in.frame.seq != f.seq) {
                continue;
            }
            if (in.frame.type == reply_type) {
                return std::move(in.frame);
            }
            const auto ack = proto::parse_ack(in.frame);
            if (ack && ack->status == proto::Status::busy) {
                deadline = std::min(until, link_.now() + wait);
                continue;
            }
            if (ack && ack->status != proto::Status::crc_error) {
                return std::move(in.frame);
            }
        }
        if (link_.now() >= until) {
            break;
        }
    }
    return std::nullopt;
}

bool RateSwitch::prove() {
    const Frame probe{Type::probe, control_seq(), probe_pattern(proto::k_block)};
    const auto reply =
        exchange(probe, Type::probe_reply, proto::k_probe_wait, proto::k_probe_transmissions);
    return reply && reply->type == Type::probe_reply && reply->payload == probe.payload;
}

RateSwitch::Tried RateSwitch::try_rate(std::uint32_t baud) {
    const Frame request{Type::rate, control_seq(), proto::Writer().u32(baud).take()};
    const auto reply =
        exchange(request, Type::rate_reply, proto::k_rate_answer_wait, proto::k_rate_transmissions);
    if (!reply) {
        return Tried::no_answer;
    }
    proto::Reader r(reply->payload);
    const std::uint32_t agreed = r.u32();
    if (reply->type != Type::rate_reply) {
        return Tried::refused;
    }
    // The target leaves 57600 once its answer is out; so do we, after ours has left.
    switched_at_ = link_.now();
    if (!r.ok() || !r.at_end() || agreed != baud) {
        link_.log()(LogLevel::warning, [&] {
            return "the target answers RATE " + baud_text(baud) + " with another rate";
        });
        return Tried::lost;
    }
    if (!set_port(baud)) {
        link_.log()(LogLevel::warning,
                    [&] { return "the port refuses " + baud_text(baud) + " after all"; });
        return Tried::lost;
    }
    link_.flush_input();
    if (prove()) {
        return Tried::holds;
    }
    link_.log()(LogLevel::warning, [&] {
        return "no good echo at " + baud_text(baud) + " within " +
               num::dec(std::chrono::duration_cast<std::chrono::milliseconds>(
                            proto::k_probe_wait * proto::k_probe_transmissions)
                            .count()) +
               " ms: back to 57600";
    });
    return Tried::lost;
}

bool RateSwitch::echo_at_base() {
    const Frame probe{Type::probe, control_seq(), probe_pattern(k_base_probe_bytes)};
    const auto reply =
        exchange(probe, Type::probe_reply, proto::k_rate_answer_wait, proto::k_rate_transmissions);
    return reply && reply->type == Type::probe_reply && reply->payload == probe.payload;
}

// Both sides at 57600 again: the target returns by itself within its bounds after a switch
// or a silence, so we wait those out and prove 57600 with a short echo.
Outcome RateSwitch::back_to_base() {
    if (!set_port(proto::k_base_rate)) {
        return Outcome::failure("the port does not return to 57600 baud");
    }
    for (const Duration since :
         {switched_at_ + proto::k_target_prove_wait, last_raised_send_ + proto::k_raised_silence}) {
        while (link_.receive(since + k_margin).kind == Incoming::Kind::frame) {
        }
        link_.flush_input();
        if (echo_at_base()) {
            return {};
        }
    }
    return Outcome::failure("the target no longer answers at 57600 baud after the rate fell back");
}

Outcome RateSwitch::negotiate(const std::vector<std::uint32_t>& offered) {
    offered_ = offered;
    std::vector<std::uint32_t> rates;
    for (std::uint32_t r : offered) {
        if (r <= rate_ || r > max_ || std::find(rates.begin(), rates.end(), r) != rates.end()) {
            continue;
        }
        if (!transport_.accepts_rate(r)) {
            link_.log()(LogLevel::info,
                        [&] { return "the port does not take " + baud_text(r) + ": skipped"; });
            continue;
        }
        rates.push_back(r);
    }
    std::sort(rates.begin(), rates.end(), std::greater<>());
    for (std::uint32_t r : rates) {
        switch (try_rate(r)) {
        case Tried::holds:
            link_.log()(LogLevel::info, [&] { return "transfer at " + baud_text(r); });
            return {};
        case Tried::refused:
            link_.log()(LogLevel::warning, [&] { return "the target refuses " + baud_text(r); });
            continue;
        case Tried::no_answer:
            link_.log()(LogLevel::warning, [&] {
                return "no answer to RATE " + baud_text(r) + ": the transfer stays at 57600 baud";
            });
            return {};
        case Tried::lost:
            if (Outcome o = back_to_base(); !o.ok()) {
                return o;
            }
            continue;
        }
    }
    return {};
}

// Asks the target back to 57600 at the present rate; true when it said yes and we followed.
bool RateSwitch::ask_target_down() {
    const Frame request{Type::rate, control_seq(), proto::Writer().u32(proto::k_base_rate).take()};
    const auto reply = exchange(request, Type::rate_reply, proto::k_rate_answer_wait, 1);
    if (!reply || reply->type != Type::rate_reply) {
        return false;
    }
    switched_at_ = link_.now();
    return set_port(proto::k_base_rate);
}

std::optional<Outcome> RateSwitch::step_down() {
    if (!raised()) {
        return std::nullopt;
    }
    const std::uint32_t from = rate_;
    link_.log()(LogLevel::warning, [&] {
        return "damaged frames at " + baud_text(from) + ": stepping the rate down";
    });
    if (!ask_target_down() || !echo_at_base()) {
        if (Outcome o = back_to_base(); !o.ok()) {
            return o;
        }
    }
    std::vector<std::uint32_t> lower;
    for (std::uint32_t r : offered_) {
        if (r < from) {
            lower.push_back(r);
        }
    }
    const std::vector<std::uint32_t> all = offered_;
    Outcome o = negotiate(lower);
    offered_ = all;
    if (o.ok() && !raised()) {
        link_.log()(LogLevel::info, [] { return std::string("transfer at 57600 baud"); });
    }
    return o;
}

void RateSwitch::leave(bool target_restarts) {
    if (!raised()) {
        return;
    }
    if (!target_restarts) {
        (void)ask_target_down();
    }
    // Once only: over RFC 2217 every port switch is a round trip to the device server.
    if (raised()) {
        (void)set_port(proto::k_base_rate);
    }
}

} // namespace trx::flash
