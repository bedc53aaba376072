#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Frame format shared by both directions: STX, letter, payload, two hex checksum digits, ETX.
namespace trx::link {

constexpr char k_stx = 0x02;
constexpr char k_etx = 0x03;

// The two upper-case checksum digits of a running sum (its low 8 bits).
std::array<char, 2> checksum_digits(std::int32_t sum);

// Sum of the byte values of letter and payload, as the frame writer accumulates it.
std::int32_t frame_sum(char letter, std::string_view payload);

// A complete frame: STX, letter, payload, checksum digits, ETX.
std::string build_frame(char letter, std::string_view payload);

// Reads a hexadecimal field: digits in either case, stopping at the first character that is
// not a hex digit; no digit gives 0.
std::uint32_t read_hex(std::string_view field);

// A four-digit field as a 16-bit two's-complement value.
constexpr std::int16_t as_int16(std::uint32_t v) {
    const auto low = static_cast<std::uint16_t>(v & 0xFFFFU);
    return static_cast<std::int16_t>(low >= 0x8000U ? static_cast<int>(low) - 0x10000
                                                    : static_cast<int>(low));
}

// A four-digit field read as 16-bit two's complement, with 65536 added when negative.
constexpr std::int32_t as_uint16(std::uint32_t v) {
    const std::int32_t s = as_int16(v);
    return s < 0 ? s + 65536 : s;
}

} // namespace trx::link
