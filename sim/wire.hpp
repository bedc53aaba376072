#pragma once

#include "base/numtext.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// The scanner's own framing: STX, letter, payload, two checksum digits, ETX. Written apart
// from the program's link codec on purpose, so that the simulator is an independent oracle
// for the program's frames in the tests.
namespace trx::sim::wire {

constexpr char k_stx = 0x02;
constexpr char k_etx = 0x03;

// Letter plus payload, as byte values.
inline std::uint32_t sum(char letter, std::string_view payload) {
    std::uint32_t s = static_cast<unsigned char>(letter);
    for (char c : payload) {
        s += static_cast<unsigned char>(c);
    }
    return s;
}

inline std::string frame(char letter, std::string_view payload) {
    const std::uint32_t s = sum(letter, payload) & 0xFFU;
    std::string f;
    f.reserve(payload.size() + 5);
    f += k_stx;
    f += letter;
    f += payload;
    f += num::hex_char(s >> 4U);
    f += num::hex_char(s);
    f += k_etx;
    return f;
}

// Leading hex digits, either case; no digit gives 0.
inline std::uint32_t hex(std::string_view field) {
    std::uint32_t v = 0;
    for (char c : field) {
        const int d = num::hex_digit(c);
        if (d < 0) {
            break;
        }
        v = (v << 4U) | static_cast<std::uint32_t>(d);
    }
    return v;
}

} // namespace trx::sim::wire
