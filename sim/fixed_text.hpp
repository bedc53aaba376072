#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Decimal texts of the simulator's files and options, read with our own function so the
// system locale never matters.
namespace trx::sim {

// A non-negative decimal number with either "." or "," as separator, scaled by
// 10^decimals: parse_fixed("12.5", 3) gives 12500. More decimals than `decimals`, a sign,
// blanks, an empty text a value above 10^12 or more than six decimals give nullopt.
std::optional<std::int64_t> parse_fixed(std::string_view text, int decimals);

} // namespace trx::sim
