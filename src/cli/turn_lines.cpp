#include "cli/turn_lines.hpp"

#include "base/numtext.hpp"
#include "service/turn_layout.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace trx::cli {

namespace {

void number(std::string& out, std::int64_t v) {
    out += num::dec(v);
}

nlohmann::ordered_json json_value(const service::Cell& c) {
    return c ? nlohmann::ordered_json(*c) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json json_stripe(const link::Stripe& s) {
    const service::StripeCells cells = service::stripe_cells(s);
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        j[std::string(service::k_stripe_columns[i])] = json_value(cells[i]);
    }
    return j;
}

void json_turn(std::string& out, const service::Turn& t) {
    const service::TurnCells cells = service::turn_cells(t);
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto field = static_cast<service::TurnField>(i);
        const std::string name(service::k_turn_fields[i]);
        if (field == service::TurnField::stripes) {
            nlohmann::ordered_json stripes = nlohmann::ordered_json::array();
            for (const link::Stripe& s : t.stripes) {
                stripes.push_back(json_stripe(s));
            }
            j[name] = std::move(stripes);
        } else if (service::is_flag(field)) {
            j[name] = cells[i].value_or(0) != 0;
        } else {
            j[name] = json_value(cells[i]);
        }
    }
    out += j.dump();
    out += '\n';
}

void csv_turn(std::string& out, const service::Turn& t) {
    service::append_csv_cells(out, service::turn_cells(t));
    for (const link::Stripe& s : t.stripes) {
        out += ',';
        service::append_csv_cells(out, service::stripe_cells(s));
    }
    out += '\n';
}

// "t_ms 52  resolution 8192  temperature 21  status speed_ok  stripes 12  tags 11@8181 ..."
void text_turn(std::string& out, const service::Turn& t) {
    out += "t_ms ";
    number(out, t.t_ms);
    out += "  resolution ";
    if (t.resolution) {
        number(out, *t.resolution);
    } else {
        out += '?';
    }
    out += "  temperature ";
    number(out, t.temperature);
    out += "  status";
    if (t.speed_ok()) {
        out += " speed_ok";
    }
    if (t.temperature_low()) {
        out += " temperature_low";
    }
    if (t.heater_active()) {
        out += " heater_active";
    }
    if (!t.speed_ok() && !t.temperature_low() && !t.heater_active()) {
        out += " -";
    }
    out += "  stripes ";
    number(out, static_cast<std::int64_t>(t.stripes.size()));
    std::string tags;
    for (const link::Stripe& s : t.stripes) {
        if (s.record.code != 0 && s.tag_angle) {
            tags += ' ';
            number(tags, s.record.code);
            tags += '@';
            number(tags, *s.tag_angle);
        }
    }
    if (!tags.empty()) {
        out += "  tags" + tags;
    }
    out += '\n';
}

} // namespace

std::string csv_header() {
    return service::csv_names(service::k_turn_fields) + "," +
           service::csv_names(service::k_stripe_columns) + "\n";
}

void append_turn(std::string& out, const service::Turn& turn, TurnFormat format) {
    switch (format) {
    case TurnFormat::json:
        json_turn(out, turn);
        return;
    case TurnFormat::csv:
        csv_turn(out, turn);
        return;
    case TurnFormat::text:
        text_turn(out, turn);
        return;
    }
}

} // namespace trx::cli
