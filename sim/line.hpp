#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trx::sim {

// The scanner's transmit line. Unpaced, what is queued is on the wire at once; paced, bytes
// leave at the rate of 57600 baud 8N1 (ten bits a byte: 5760 bytes per second), timed by the
// clock passed in, so the rate holds against the simulator's own time.
class Line {
public:
    static constexpr std::int64_t k_bytes_per_second = 5760;

    explicit Line(bool paced) : paced_(paced) {}

    [[nodiscard]] bool paced() const { return paced_; }
    // The rate bytes queued from now on leave at (57600 at first); for a line with nothing
    // waiting, as a port switches after it has drained.
    void set_rate(std::uint32_t baud, std::chrono::nanoseconds now);
    void queue(std::string_view bytes, std::chrono::nanoseconds now);
    // The bytes that have left by `now`, in order.
    std::string take(std::chrono::nanoseconds now);
    // Drops everything not yet taken (the transmitter was reset).
    void clear();
    // Bytes queued that have not left the line by `at`.
    [[nodiscard]] std::size_t backlog(std::chrono::nanoseconds at);
    // The same as of the last look at the clock.
    [[nodiscard]] std::size_t backlog() const { return waiting_.size() - head_; }
    // When the next byte will have left; nullopt when nothing waits.
    [[nodiscard]] std::optional<std::chrono::nanoseconds> next_departure() const;

private:
    // Moves the bytes that have left by now from waiting_ to ready_.
    void settle(std::chrono::nanoseconds now);
    [[nodiscard]] std::chrono::nanoseconds departure(std::int64_t byte_no) const;

    bool paced_;
    std::string waiting_; // queued, from head_ on not yet on the wire
    std::size_t head_ = 0;
    std::string ready_;                 // left the line, not yet taken
    std::chrono::nanoseconds epoch_{0}; // when the current busy stretch began
    std::int64_t sent_ = 0;             // bytes sent since epoch_
    std::int64_t bytes_per_second_ = k_bytes_per_second;
};

} // namespace trx::sim
