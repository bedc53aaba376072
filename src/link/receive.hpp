#pragma once

#include "ui/controls.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

namespace trx::link {

constexpr int k_receive_buffer = 501; // positions 0..500; only 0..499 are ever written
constexpr int k_max_stored = 500;

// Port event codes of the serial layer; only a received character is processed.
enum PortEvent : int { k_ev_receive = 2 };

// Receive state: all zero at start, reset only by STX.
struct ReceiveState {
    std::array<std::uint8_t, k_receive_buffer> buffer{};
    std::int16_t count = 0;
    std::int32_t sum = 0;
    std::int32_t received_checksum = 0;
};

// The view every decoder works on: letter at 0, payload from 1, checksum digits at
// count - 2 and count - 1. Reads are by absolute position; a read past position 500 is a
// Fault. Valid only during the decoder's call.
class ReceivedFrame {
public:
    explicit ReceivedFrame(const ReceiveState& s) : state_(s) {}
    [[nodiscard]] int count() const { return state_.count; }
    [[nodiscard]] char letter() const { return static_cast<char>(state_.buffer[0]); }
    [[nodiscard]] char at(int pos) const;
    // Characters at pos .. pos + len - 1 (Fault when any lies past position 500).
    [[nodiscard]] std::string_view chars(int pos, int len) const;
    // The whole frame body: letter, payload and checksum digits.
    [[nodiscard]] std::string_view body() const { return chars(0, state_.count); }
    // Hex field at pos with len characters (stops at the first non-hex character).
    [[nodiscard]] std::uint32_t hex(int pos, int len) const;
    // Four-digit field as 16-bit two's complement (signed), and plus 65536 when negative.
    [[nodiscard]] std::int16_t hex_s16(int pos) const;
    [[nodiscard]] std::int32_t hex_u16(int pos) const;

private:
    const ReceiveState& state_;
};

using FrameHandler = std::function<void(const ReceivedFrame&)>;

// Receive assembly: collects frames from STX to ETX byte by byte, checks their checksum,
// marks the link online and dispatches by frame letter.
class Receiver {
public:
    // marker: the timer whose tag holds the link state marker ("online"/"offline");
    // on_fault: run when a decoder stopped with a Fault (switches grid drawing back on).
    Receiver(ui::Timer& marker, std::function<void()> on_fault);

    // Handlers of the dispatch table, tried in the order S, W, P, L, I; an "S" frame only
    // while status_gate() holds.
    void on_status(FrameHandler h, std::function<bool()> status_gate);
    void on_frame(char letter, FrameHandler h); // 'W', 'P', 'L' or 'I'

    // Port event entry: code 2 processes the bytes, one at a time, in order; every other
    // code returns at once. A Fault stops the processing of that byte's event only.
    void port_event(int code, std::string_view bytes);
    void feed(std::uint8_t c);

    [[nodiscard]] const ReceiveState& state() const { return state_; }

private:
    void end_of_frame();
    void dispatch();

    ui::Timer& marker_;
    std::function<void()> on_fault_;
    ReceiveState state_;
    FrameHandler status_;
    std::function<bool()> status_gate_;
    FrameHandler w_, p_, l_, i_;
};

} // namespace trx::link
