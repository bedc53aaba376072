#pragma once

#include "link/received_frame.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace trx::link {

// Port event codes of the serial layer; only a received character is processed.
enum PortEvent : int { k_ev_receive = 2 };

using FrameHandler = std::function<void(const ReceivedFrame&)>;

// What the receive assembly has seen since the counters were last reset. A frame that went
// past the 500-byte cap counts once as overlong, whatever its checksum then says.
struct ReceiveCounters {
    std::uint64_t bytes = 0;
    std::uint64_t good_frames = 0;
    std::uint64_t bad_checksums = 0;
    std::uint64_t overlong_frames = 0;
    std::uint64_t overlong_bad_checksums = 0; // the overlong frames among bad_checksums
    std::uint64_t faults = 0;
    std::string last_fault; // what the last decoder fault said; empty when none

    // Frames with something wrong: a bad checksum, a cut-off (overlong) frame, or a decoder
    // fault; an overlong frame that then fails its checksum counts once.
    [[nodiscard]] std::uint64_t bad_frames() const {
        return bad_checksums + overlong_frames - overlong_bad_checksums + faults;
    }

    bool operator==(const ReceiveCounters&) const = default;
};

// What the receive assembly tells whoever wires it to the program; each may be empty.
struct ReceiveEvents {
    // A frame with a good checksum, before it is dispatched (the link state marker).
    std::function<void()> good_frame;
    // A frame whose checksum digits did not match its sum: its body as received.
    std::function<void(std::string_view body)> bad_checksum;
    // A decoder stopped with a Fault; what was shown before it stays.
    std::function<void(const std::string& what)> fault;
};

// Receive assembly: collects frames from STX to ETX byte by byte, checks their checksum,
// reports a good frame and dispatches it by frame letter.
class Receiver {
public:
    explicit Receiver(ReceiveEvents events = {});

    // Handlers of the dispatch table, tried in the order S, W, P, L, I; an "S" frame only
    // while status_gate() holds.
    void on_status(FrameHandler h, std::function<bool()> status_gate);
    void on_frame(char letter, FrameHandler h); // 'W', 'P', 'L' or 'I'

    // Port event entry: code 2 processes the bytes, one at a time, in order; every other
    // code returns at once. A Fault stops the processing of that byte's event only.
    void port_event(int code, std::string_view bytes);
    void feed(std::uint8_t c);

    [[nodiscard]] const ReceiveState& state() const { return state_; }
    [[nodiscard]] const ReceiveCounters& counters() const { return counters_; }
    void reset_counters() { counters_ = {}; }

private:
    void store(std::uint8_t c);
    void end_of_frame();
    void dispatch();

    ReceiveEvents events_;
    ReceiveState state_;
    ReceiveCounters counters_;
    bool overlong_ = false; // the frame being collected lost bytes at the cap
    bool judged_ = false;   // an ETX has judged the frame; bytes up to the next STX are dropped
    FrameHandler status_;
    std::function<bool()> status_gate_;
    FrameHandler w_, p_, l_, i_;
};

} // namespace trx::link
