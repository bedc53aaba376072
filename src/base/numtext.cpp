#include "base/numtext.hpp"

#include <algorithm>
#include <array>
#include <limits>

namespace trx::num {

namespace {
// v * 10 + d, or false when it would not fit.
bool push_digit(std::int64_t& v, char c) {
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    const int d = c - '0';
    if (v > (max - d) / 10) {
        return false;
    }
    v = v * 10 + d;
    return true;
}

bool all_digits(std::string_view s) {
    for (char c : s) {
        if (!is_digit(c)) {
            return false;
        }
    }
    return true;
}
} // namespace

std::string dec(std::int64_t v) {
    const bool negative = v < 0;
    // Work on the unsigned magnitude so INT64_MIN cannot overflow.
    std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::array<char, 24> buf{}; // 20 digits and the sign
    auto* p = buf.end();
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m > 0);
    if (negative) {
        *--p = '-';
    }
    return {p, buf.end()};
}

void append_hex_upper(std::string& out, std::uint64_t v, int width) {
    int digits = 1;
    for (std::uint64_t rest = v >> 4U; rest != 0; rest >>= 4U) {
        ++digits;
    }
    const auto n = static_cast<std::size_t>(std::max(digits, width));
    out.append(n, '0');
    for (auto it = out.rbegin(); v != 0; ++it, v >>= 4U) {
        *it = hex_char(static_cast<unsigned>(v));
    }
}

std::string hex_upper(std::uint64_t v, int width) {
    std::string out;
    append_hex_upper(out, v, width);
    return out;
}

std::int64_t leading_value(std::string_view text) {
    std::int64_t v = 0;
    for (char c : text) {
        if (!is_digit(c)) {
            break;
        }
        if (!push_digit(v, c)) {
            return std::numeric_limits<std::int64_t>::max();
        }
    }
    return v;
}

std::optional<std::uint64_t> parse_whole(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t v = 0;
    for (char c : text) {
        if (!is_digit(c)) {
            return std::nullopt;
        }
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (max - d) / 10) {
            return std::nullopt;
        }
        v = v * 10 + d;
    }
    return v;
}

std::optional<CommaNumber> parse_comma(std::string_view text, int decimals) {
    const auto comma = text.find(',');
    const std::string_view whole = text.substr(0, comma);
    const std::string_view fraction =
        comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    // A second comma is not a digit, so all_digits() refuses it as well.
    if ((whole.empty() && fraction.empty()) || !all_digits(whole) || !all_digits(fraction)) {
        return std::nullopt;
    }
    CommaNumber n;
    for (char c : whole) {
        if (!push_digit(n.scaled, c)) {
            return std::nullopt;
        }
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(decimals); ++i) {
        if (!push_digit(n.scaled, i < fraction.size() ? fraction[i] : '0')) {
            return std::nullopt;
        }
    }
    for (std::size_t i = static_cast<std::size_t>(decimals); i < fraction.size(); ++i) {
        n.exact = n.exact && fraction[i] == '0';
    }
    return n;
}

std::string fixed_comma(std::int64_t v, int decimals) {
    const bool negative = v < 0;
    std::string digits = dec(v);
    if (negative) {
        digits.erase(digits.begin());
    }
    while (static_cast<int>(digits.size()) <= decimals) {
        digits.insert(digits.begin(), '0');
    }
    const auto split = digits.size() - static_cast<std::size_t>(decimals);
    std::string out = digits.substr(0, split);
    if (decimals > 0) {
        out += ',';
        out += digits.substr(split);
    }
    return negative ? "-" + out : out;
}

} // namespace trx::num
