#pragma once

#include "flashlib/transport.hpp"
#include "sim/boot_target.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>

namespace trx::sim {

struct LineConfig {
    // Bytes per second in each direction at 57600 baud (8N1 carries 5760); other rates in
    // proportion. 0: no delay.
    std::uint32_t bytes_per_second = 5760;
    // Step of virtual time while waiting: the target is polled this often.
    std::chrono::nanoseconds tick = std::chrono::milliseconds(1);
    // The cable: up to this rate bytes arrive whole; above it each bit is flipped with the
    // chance below. 0: any rate arrives whole.
    std::uint32_t cable_max_baud = 0;
    double bit_error_rate = 0.01;
    // The host's port takes 57600 and the standard rates up to this one.
    std::uint32_t port_max_baud = 57600;
    // A port that takes a raised rate and then loses one byte in this many it sends; 0: none.
    std::uint32_t lose_one_in = 0;
    std::uint32_t seed = 1;
};

// A serial line between the host's protocol engine and a BootTarget, in virtual time: bytes
// take their time on the wire in each direction at the rate they were sent at, and time
// passes only while the host waits. A byte read at another rate than it was sent at arrives
// as garbage; above the cable's rate its bits are flipped now and then.
class VirtualLine final : public flash::Transport {
public:
    explicit VirtualLine(BootTarget& target, LineConfig config = {})
        : target_(target), config_(config), rng_(config.seed) {}

    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] bool read(std::string& into, Duration timeout) override;
    void flush_input() override;
    [[nodiscard]] Duration now() const override { return now_; }
    [[nodiscard]] bool accepts_rate(std::uint32_t baud) const override;
    [[nodiscard]] bool set_rate(std::uint32_t baud) override;

    // Lets time pass without the host reading (the target still works and answers).
    void advance(Duration d);
    [[nodiscard]] std::uint64_t bytes_to_target() const { return bytes_to_target_; }
    [[nodiscard]] std::uint32_t host_rate() const { return host_rate_; }
    // The cable, changed in the middle of a run.
    void set_cable_max_baud(std::uint32_t baud) { config_.cable_max_baud = baud; }
    // Bytes that arrived damaged or as garbage, both ways.
    [[nodiscard]] std::uint64_t damaged_bytes() const { return damaged_bytes_; }

private:
    struct Timed {
        Duration at;
        char byte;
        std::uint32_t rate;
    };
    void step_to(Duration t);
    [[nodiscard]] Duration tick() const {
        return std::max<Duration>(config_.tick, std::chrono::microseconds(100));
    }
    [[nodiscard]] Duration per_byte(std::uint32_t rate) const;
    void schedule(std::deque<Timed>& queue, Duration& line_free, std::string_view bytes,
                  std::uint32_t rate);
    // The byte as a receiver at `rate` reads it; nullopt when it is lost.
    std::optional<char> arrive(const Timed& t, std::uint32_t rate);
    void follow_target_rate();

    BootTarget& target_;
    LineConfig config_;
    std::mt19937 rng_;
    Duration now_{};
    std::deque<Timed> to_target_;
    std::deque<Timed> to_host_;
    Duration target_line_free_{};
    Duration host_line_free_{};
    std::uint64_t bytes_to_target_ = 0;
    std::uint64_t damaged_bytes_ = 0;
    std::string scratch_;
    std::uint32_t host_rate_ = 57600;
    // The target's port: its rate before and from `target_switch_at_`, when what it sent
    // before has left.
    std::uint32_t target_rate_ = 57600;
    std::uint32_t target_rate_before_ = 57600;
    Duration target_switch_at_{};
};

// The host's end of a line that stays with its owner: a rig or a benchmark keeps the line, and
// reads its time and counts, after the library has let its port go. With `switches_rates`
// false the port stays at 57600 whatever is asked, as a port that cannot switch.
class LineEnd : public flash::Transport {
public:
    explicit LineEnd(VirtualLine& line, bool switches_rates = true)
        : line_(line), switches_rates_(switches_rates) {}

    [[nodiscard]] bool write(std::string_view bytes) override { return line_.write(bytes); }
    [[nodiscard]] bool read(std::string& into, Duration timeout) override {
        return line_.read(into, timeout);
    }
    void flush_input() override { line_.flush_input(); }
    [[nodiscard]] Duration now() const override { return line_.now(); }
    [[nodiscard]] bool accepts_rate(std::uint32_t baud) const override {
        return switches_rates_ ? line_.accepts_rate(baud) : Transport::accepts_rate(baud);
    }
    [[nodiscard]] bool set_rate(std::uint32_t baud) override {
        return switches_rates_ ? line_.set_rate(baud) : Transport::set_rate(baud);
    }

private:
    VirtualLine& line_;
    bool switches_rates_;
};

} // namespace trx::sim
