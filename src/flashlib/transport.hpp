#pragma once

#include "flashlib/log_sink.hpp"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace trx::flash {

// The line to the target as the protocol engine sees it: a serial port in the library, an
// in-process line to the simulated target in virtual time in tests and benchmarks.
class Transport {
public:
    using Duration = std::chrono::nanoseconds;

    Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;
    Transport(Transport&&) = delete;
    Transport& operator=(Transport&&) = delete;
    virtual ~Transport() = default;

    // Hands all bytes to the line. False when the line has failed.
    [[nodiscard]] virtual bool write(std::string_view bytes) = 0;
    // Waits until bytes arrive or `timeout` has passed on this transport's clock, and appends
    // what arrived. False when the line has failed (nothing will ever arrive).
    [[nodiscard]] virtual bool read(std::string& into, Duration timeout) = 0;
    // Drops bytes received and not yet read.
    virtual void flush_input() = 0;
    // Monotonic time of this transport.
    [[nodiscard]] virtual Duration now() const = 0;
    // Whether the port can run at `baud` (asked before the target is, so that a rate the port
    // refuses is skipped).
    [[nodiscard]] virtual bool accepts_rate(std::uint32_t baud) const { return baud == 57600; }
    // Switches the port to `baud` once what was written has left. False when it refuses.
    [[nodiscard]] virtual bool set_rate(std::uint32_t baud) { return baud == 57600; }
    // Why the line failed, after write or read returned false.
    [[nodiscard]] virtual std::string failure() const { return "the serial line failed"; }

    // Where the line says what went wrong with it; nowhere until attached. `log` outlives the
    // transport.
    void attach_log(const LogSink& log) { log_ = &log; }

protected:
    [[nodiscard]] const LogSink& log() const { return *log_; }

private:
    const LogSink* log_ = &LogSink::none();
};

} // namespace trx::flash
