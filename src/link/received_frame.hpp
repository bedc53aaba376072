#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace trx::link {

constexpr int k_receive_buffer = 501; // positions 0..500; only 0..499 are ever written
constexpr int k_max_stored = 500;

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

} // namespace trx::link
