#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers as the program writes and reads them. Our own functions, never the C or C++
// locale: a German or English system locale changes nothing on the wire or on the screen.
namespace trx::num {

// Plain decimal text: leading "-" when negative, no blank, no leading zeros.
std::string dec(std::int64_t v);

// Upper-case hexadecimal, left-padded with "0" to at least `width` digits.
std::string hex_upper(std::uint64_t v, int width);
// The same appended to out, without a text of its own: frames are built from many of them.
void append_hex_upper(std::string& out, std::uint64_t v, int width);

// Value of one hexadecimal digit in either case, -1 for any other character.
constexpr int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Upper-case hexadecimal digit of the low four bits of v.
constexpr char hex_char(unsigned v) {
    return "0123456789ABCDEF"[v & 0xFU];
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The number formed by the leading decimal digits; 0 for an empty text or one that begins
// with another character. Saturates at INT64_MAX instead of overflowing.
std::int64_t leading_value(std::string_view text);

// A whole decimal number and nothing else (no sign, no blanks); nullopt otherwise or when it
// does not fit.
std::optional<std::uint64_t> parse_whole(std::string_view text);

// A number written with a decimal comma: digits with at most one comma and at least one
// digit ("12,5", "7", "12,", ",5"); no sign, no blanks. `scaled` is the value times
// 10^decimals with further decimals cut off ("6,05" at one decimal gives 60); `exact` is false
// when a cut-off decimal was not 0. nullopt for any other text or one too large to hold.
struct CommaNumber {
    std::int64_t scaled = 0;
    bool exact = true;
};
std::optional<CommaNumber> parse_comma(std::string_view text, int decimals);

// v / 10^decimals with exactly `decimals` places and a decimal comma ("1,09", "-0,5").
std::string fixed_comma(std::int64_t v, int decimals);

} // namespace trx::num
