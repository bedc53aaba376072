#pragma once

#include "link/frame.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/virtual_clock.hpp"

#include <chrono>
#include <functional>
#include <string>
#include <utility>

namespace trx::testkit {

// Runs fn every period of virtual time, for as long as the clock runs.
inline void every(VirtualClock& clock, VirtualClock::duration period, std::function<void()> fn) {
    clock.schedule(period, [&clock, period, fn = std::move(fn)]() mutable {
        fn();
        every(clock, period, std::move(fn));
    });
}

// What a scripted scanner hears: every millisecond it takes the bytes the program wrote to
// the port and hands each complete command frame, letter and payload, to its handler.
class CommandFrames {
public:
    using Handler = std::function<void(char letter, const std::string& payload)>;

    CommandFrames(VirtualClock& clock, FakeSerialPort& port, Handler on_frame)
        : on_frame_(std::move(on_frame)) {
        every(clock, std::chrono::milliseconds(1), [this, &port] { listen(port.take_sent()); });
    }

    // Every byte written since the start, or since the last clear.
    [[nodiscard]] const std::string& heard() const { return heard_; }
    void clear() { heard_.clear(); }

private:
    void listen(const std::string& bytes) {
        heard_ += bytes;
        pending_ += bytes;
        for (auto etx = pending_.find(link::k_etx); etx != std::string::npos;
             etx = pending_.find(link::k_etx)) {
            const std::size_t stx = pending_.rfind(link::k_stx, etx);
            // STX, the letter, the payload, two checksum digits, ETX.
            if (stx != std::string::npos && stx + 3 < etx) {
                on_frame_(pending_[stx + 1], pending_.substr(stx + 2, etx - stx - 4));
            }
            pending_.erase(0, etx + 1);
        }
    }

    Handler on_frame_;
    std::string heard_;
    std::string pending_;
};

} // namespace trx::testkit
