#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trx::sim {

// The target side of the flash protocol: the controller's bootstrap loader and flash
// monitor. The device model hands it every byte that arrives while the scanner is in its
// bootstrap mode and sends back what it answers. Time is passed in, so the same target runs
// in virtual time (tests) and real time (the pseudo-terminal front).
class BootTarget {
public:
    BootTarget() = default;
    BootTarget(const BootTarget&) = delete;
    BootTarget& operator=(const BootTarget&) = delete;
    BootTarget(BootTarget&&) = delete;
    BootTarget& operator=(BootTarget&&) = delete;
    virtual ~BootTarget() = default;

    // The bootstrap string arrived within 500 ms after a reset: the loader starts now.
    virtual void enter(std::chrono::nanoseconds now) = 0;
    // Bytes from the host; answers are appended to out.
    virtual void receive(std::string_view bytes, std::chrono::nanoseconds now,
                         std::string& out) = 0;
    // Time passes: answers that fall due by now (busy frames, the end of a slow erase,
    // time-outs) are appended to out.
    virtual void poll(std::chrono::nanoseconds now, std::string& out) = 0;
    // The target has left its loader (reset after programming, or silence): the scanner
    // runs its firmware again.
    [[nodiscard]] virtual bool finished() const = 0;
    // The rate the target's port runs at in baud, from the moment what it sent before has
    // left the line.
    [[nodiscard]] virtual std::uint32_t line_rate() const { return 57600; }
    // The version (times 100) of the firmware the controller starts once finished, when the
    // flash names it; the scanner then answers "R" with it.
    [[nodiscard]] virtual std::optional<std::uint16_t> booted_version() const {
        return std::nullopt;
    }
};

} // namespace trx::sim
