#pragma once

#include "flashlib/transport.hpp"
#include "sim/boot_target.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>

namespace trx::sim {

struct LineConfig {
    // Bytes per second in each direction; 57600 baud with 8N1 carry 5760. 0: no delay.
    std::uint32_t bytes_per_second = 5760;
    // Step of virtual time while waiting: the target is polled this often.
    std::chrono::nanoseconds tick = std::chrono::milliseconds(1);
};

// A serial line between the host's protocol engine and a BootTarget, in virtual time: bytes
// take their time on the wire in each direction, and time passes only while the host waits.
class VirtualLine final : public flash::Transport {
public:
    explicit VirtualLine(BootTarget& target, LineConfig config = {})
        : target_(target), config_(config) {}

    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] bool read(std::string& into, Duration timeout) override;
    void flush_input() override;
    [[nodiscard]] Duration now() const override { return now_; }

    // Lets time pass without the host reading (the target still works and answers).
    void advance(Duration d);
    [[nodiscard]] std::uint64_t bytes_to_target() const { return bytes_to_target_; }

private:
    struct Timed {
        Duration at;
        char byte;
    };
    void step_to(Duration t);
    [[nodiscard]] Duration tick() const {
        return std::max<Duration>(config_.tick, std::chrono::microseconds(100));
    }
    void schedule(std::deque<Timed>& queue, Duration& line_free, std::string_view bytes);

    BootTarget& target_;
    LineConfig config_;
    Duration now_{};
    std::deque<Timed> to_target_;
    std::deque<Timed> to_host_;
    Duration target_line_free_{};
    Duration host_line_free_{};
    std::uint64_t bytes_to_target_ = 0;
    std::string scratch_;
};

} // namespace trx::sim
