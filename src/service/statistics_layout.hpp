#pragma once

#include "service/scan_statistics.hpp"

#include <array>
#include <string>
#include <string_view>

// The one layout of the scan statistics for every export: the window's "Export CSV" and the
// command line's --stats in CSV and JSON. docs/exports.md describes it.
namespace trx::service {

// A code's columns, in the order every export writes them. Angles and widths in increments.
inline constexpr std::array<std::string_view, 9> k_tag_columns{
    "code",     "seen",       "read_rate", "duplicates", "angle_mean",
    "angle_sd", "width_mean", "width_sd",  "last_seen"};

// Decimal places of the fractional columns: the read rate to a hundredth of a per cent,
// angles and widths to a hundredth of an increment.
inline constexpr int k_rate_places = 4;
inline constexpr int k_increment_places = 2;

// v rounded to `places` decimals, halves away from zero.
[[nodiscard]] double rounded(double v, int places);
// v with exactly `places` decimals and a decimal point ("0.9500", "-3.25"), whatever the
// system's locale.
[[nodiscard]] std::string point_decimal(double v, int places);

// The header line, then one line per code, every line ending in "\n".
[[nodiscard]] std::string statistics_csv(const StatisticsSummary& summary);

} // namespace trx::service
