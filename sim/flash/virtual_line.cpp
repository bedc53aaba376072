#include "sim/flash/virtual_line.hpp"

#include <algorithm>
#include <array>

namespace trx::sim {

namespace {
constexpr std::uint32_t k_base_rate = 57600;
constexpr std::array<std::uint32_t, 4> k_port_rates = {115200, 230400, 460800, 921600};
} // namespace

VirtualLine::Duration VirtualLine::per_byte(std::uint32_t rate) const {
    if (config_.bytes_per_second == 0) {
        return Duration::zero();
    }
    const auto per_second = std::uint64_t{config_.bytes_per_second} * rate / k_base_rate;
    return Duration(std::chrono::seconds(1)) / static_cast<std::int64_t>(per_second);
}

void VirtualLine::schedule(std::deque<Timed>& queue, Duration& line_free, std::string_view bytes,
                           std::uint32_t rate) {
    const Duration each = per_byte(rate);
    for (char c : bytes) {
        line_free = std::max(line_free, now_) + each;
        queue.push_back(Timed{line_free, c, rate});
    }
}

std::optional<char> VirtualLine::arrive(const Timed& t, std::uint32_t rate) {
    if (t.rate != rate) {
        ++damaged_bytes_;
        return static_cast<char>(rng_() & 0xFFU);
    }
    if (config_.cable_max_baud == 0 || t.rate <= config_.cable_max_baud) {
        return t.byte;
    }
    auto b = static_cast<std::uint8_t>(t.byte);
    std::bernoulli_distribution flip(config_.bit_error_rate);
    for (int bit = 0; bit < 8; ++bit) {
        if (flip(rng_)) {
            b = static_cast<std::uint8_t>(b ^ (1U << bit));
        }
    }
    damaged_bytes_ += b != static_cast<std::uint8_t>(t.byte) ? 1 : 0;
    return static_cast<char>(b);
}

bool VirtualLine::accepts_rate(std::uint32_t baud) const {
    return baud == k_base_rate ||
           (baud <= config_.port_max_baud &&
            std::find(k_port_rates.begin(), k_port_rates.end(), baud) != k_port_rates.end());
}

bool VirtualLine::set_rate(std::uint32_t baud) {
    if (!accepts_rate(baud)) {
        return false;
    }
    host_rate_ = baud; // bytes already written keep the rate they were sent at
    return true;
}

bool VirtualLine::write(std::string_view bytes) {
    bytes_to_target_ += bytes.size();
    if (config_.lose_one_in == 0 || host_rate_ == k_base_rate) {
        schedule(to_target_, target_line_free_, bytes, host_rate_);
        return true;
    }
    std::string kept;
    for (char c : bytes) {
        if (rng_() % config_.lose_one_in != 0) {
            kept.push_back(c);
        }
    }
    schedule(to_target_, target_line_free_, kept, host_rate_);
    return true;
}

// The target's port follows its wish once what it has sent so far has left the line.
void VirtualLine::follow_target_rate() {
    const std::uint32_t wanted = target_.line_rate();
    if (wanted == target_rate_) {
        return;
    }
    target_rate_before_ = now_ >= target_switch_at_ ? target_rate_ : target_rate_before_;
    target_rate_ = wanted;
    target_switch_at_ = std::max(now_, host_line_free_);
}

void VirtualLine::step_to(Duration t) {
    scratch_.clear();
    while (!to_target_.empty() && to_target_.front().at <= t) {
        const Timed& in = to_target_.front();
        const std::uint32_t rate = in.at >= target_switch_at_ ? target_rate_ : target_rate_before_;
        if (auto c = arrive(in, rate)) {
            scratch_.push_back(*c);
        }
        to_target_.pop_front();
    }
    now_ = t;
    std::string out;
    if (!scratch_.empty()) {
        target_.receive(scratch_, t, out);
    }
    target_.poll(t, out);
    // What the target answered leaves at the rate its port had; a switch it asked for applies
    // after that.
    const std::uint32_t sending = now_ >= target_switch_at_ ? target_rate_ : target_rate_before_;
    schedule(to_host_, host_line_free_, out, sending);
    follow_target_rate();
}

bool VirtualLine::read(std::string& into, Duration timeout) {
    const Duration deadline = now_ + std::max(timeout, Duration::zero());
    for (;;) {
        bool got = false;
        while (!to_host_.empty() && to_host_.front().at <= now_) {
            if (auto c = arrive(to_host_.front(), host_rate_)) {
                into.push_back(*c);
            }
            to_host_.pop_front();
            got = true;
        }
        if (got || now_ >= deadline) {
            return true;
        }
        step_to(std::min(now_ + tick(), deadline));
    }
}

void VirtualLine::flush_input() {
    while (!to_host_.empty() && to_host_.front().at <= now_) {
        to_host_.pop_front();
    }
}

void VirtualLine::advance(Duration d) {
    const Duration end = now_ + d;
    while (now_ < end) {
        step_to(std::min(now_ + tick(), end));
    }
}

} // namespace trx::sim
