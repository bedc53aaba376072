#include "service/turn_layout.hpp"

#include "base/numtext.hpp"

namespace trx::service {

StripeCells stripe_cells(const link::Stripe& s) {
    StripeCells cells;
    cell(cells, StripeColumn::start) = s.record.start;
    cell(cells, StripeColumn::end) = s.end;
    cell(cells, StripeColumn::width) = s.record.width;
    cell(cells, StripeColumn::gap) = s.gap;
    cell(cells, StripeColumn::code) = s.record.code;
    cell(cells, StripeColumn::tag_width) = s.tag_width;
    cell(cells, StripeColumn::tag_angle) = s.tag_angle;
    return cells;
}

TurnCells turn_cells(const Turn& t) {
    TurnCells cells;
    cell(cells, TurnField::t_ms) = t.t_ms;
    cell(cells, TurnField::resolution) = t.resolution;
    cell(cells, TurnField::temperature) = t.temperature;
    cell(cells, TurnField::speed_ok) = t.speed_ok() ? 1 : 0;
    cell(cells, TurnField::temperature_low) = t.temperature_low() ? 1 : 0;
    cell(cells, TurnField::heater_active) = t.heater_active() ? 1 : 0;
    cell(cells, TurnField::stripes) = static_cast<std::int64_t>(t.stripes.size());
    return cells;
}

std::string csv_names(std::span<const std::string_view> names) {
    std::string out;
    for (const std::string_view name : names) {
        if (!out.empty()) {
            out += ',';
        }
        out += name;
    }
    return out;
}

void append_csv_cells(std::string& out, std::span<const Cell> cells) {
    bool first = true;
    for (const Cell& c : cells) {
        if (!first) {
            out += ',';
        }
        first = false;
        if (c) {
            out += num::dec(*c);
        }
    }
}

} // namespace trx::service
