#pragma once

#include <string_view>

namespace trx {

// Blanks of a line of text: spaces, tabs and either line end.
inline constexpr std::string_view k_blanks = " \t\r\n";

// `s` without the characters of `blanks` at its start.
constexpr std::string_view trim_start(std::string_view s, std::string_view blanks = k_blanks) {
    const auto first = s.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view{} : s.substr(first);
}

// `s` without the characters of `blanks` at either end.
constexpr std::string_view trim(std::string_view s, std::string_view blanks = k_blanks) {
    s = trim_start(s, blanks);
    return s.substr(0, s.find_last_not_of(blanks) + 1);
}

} // namespace trx
