#include "sim/fixed_text.hpp"

#include "base/numtext.hpp"

namespace trx::sim {

namespace {
constexpr std::int64_t k_limit = 1'000'000'000'000; // leaves room for six decimals
} // namespace

std::optional<std::int64_t> parse_fixed(std::string_view text, int decimals) {
    if (decimals < 0 || decimals > 6) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    int digits = 0;
    int fraction = -1; // decimals seen after the separator; -1 before it
    for (char c : text) {
        if ((c == '.' || c == ',') && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (!num::is_digit(c) || fraction == decimals) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        ++digits;
        if (fraction >= 0) {
            ++fraction;
        }
        if (value > k_limit) {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    for (int i = fraction < 0 ? 0 : fraction; i < decimals; ++i) {
        value *= 10;
    }
    return value;
}

} // namespace trx::sim
