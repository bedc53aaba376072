#pragma once

#include "link/status_decoder.hpp"
#include "service/turn.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The one row layout of a turn, for every export of it: the window's CSV of the scan shown,
// and the command line's monitor and replay in CSV and JSON. docs/exports.md describes it.
namespace trx::service {

// A stripe's columns, in the order every export writes them.
enum class StripeColumn : std::size_t { start, end, width, gap, code, tag_width, tag_angle };
inline constexpr std::array<std::string_view, 7> k_stripe_columns{
    "start", "end", "width", "gap", "code", "tag_width", "tag_angle"};

// A turn's fields, in order; its stripes come last.
enum class TurnField : std::size_t {
    t_ms,
    resolution,
    temperature,
    speed_ok,
    temperature_low,
    heater_active,
    stripes
};
inline constexpr std::array<std::string_view, 7> k_turn_fields{
    "t_ms", "resolution", "temperature", "speed_ok", "temperature_low", "heater_active", "stripes"};

// Values in the order of their names; an absent one is an empty CSV cell and a JSON null.
using Cell = std::optional<std::int64_t>;
using StripeCells = std::array<Cell, k_stripe_columns.size()>;
using TurnCells = std::array<Cell, k_turn_fields.size()>;

constexpr Cell& cell(StripeCells& cells, StripeColumn c) {
    return cells[static_cast<std::size_t>(c)];
}
constexpr Cell& cell(TurnCells& cells, TurnField f) {
    return cells[static_cast<std::size_t>(f)];
}
// The fields a JSON line writes as true or false (CSV: 1 or 0).
constexpr bool is_flag(TurnField f) {
    return f == TurnField::speed_ok || f == TurnField::temperature_low ||
           f == TurnField::heater_active;
}

// A decoded stripe: every column but an absent gap, tag width or tag angle; code 0 is no code.
[[nodiscard]] StripeCells stripe_cells(const link::Stripe& s);
// A turn's fields; stripes holds their number.
[[nodiscard]] TurnCells turn_cells(const Turn& t);

// The names joined by commas, without a line end.
[[nodiscard]] std::string csv_names(std::span<const std::string_view> names);
// The values joined by commas (an absent one empty), without a line end.
void append_csv_cells(std::string& out, std::span<const Cell> cells);

} // namespace trx::service
