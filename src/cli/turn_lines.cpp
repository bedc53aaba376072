#include "cli/turn_lines.hpp"

#include "base/numtext.hpp"

#include <optional>

namespace trx::cli {

namespace {

void number(std::string& out, std::int64_t v) {
    out += num::dec(v);
}

void json_optional(std::string& out, const std::optional<std::int64_t>& v) {
    if (v) {
        number(out, *v);
    } else {
        out += "null";
    }
}

void csv_optional(std::string& out, const std::optional<std::int64_t>& v) {
    if (v) {
        number(out, *v);
    }
}

const char* json_bool(bool b) {
    return b ? "true" : "false";
}

void json_turn(std::string& out, const service::Turn& t) {
    out += "{\"t_ms\":";
    number(out, t.t_ms);
    out += ",\"resolution\":";
    json_optional(out, t.resolution);
    out += ",\"temperature\":";
    number(out, t.temperature);
    out += ",\"speed_ok\":";
    out += json_bool(t.speed_ok());
    out += ",\"temperature_low\":";
    out += json_bool(t.temperature_low());
    out += ",\"heater_active\":";
    out += json_bool(t.heater_active());
    out += ",\"stripes\":[";
    bool first = true;
    for (const link::Stripe& s : t.stripes) {
        out += first ? "{\"start\":" : ",{\"start\":";
        first = false;
        number(out, s.record.start);
        out += ",\"end\":";
        number(out, s.end);
        out += ",\"width\":";
        number(out, s.record.width);
        out += ",\"gap\":";
        json_optional(out, s.gap);
        out += ",\"code\":";
        number(out, s.record.code);
        out += ",\"tag_width\":";
        json_optional(out, s.tag_width);
        out += ",\"tag_angle\":";
        json_optional(out, s.tag_angle);
        out += '}';
    }
    out += "]}\n";
}

void csv_turn(std::string& out, const service::Turn& t) {
    number(out, t.t_ms);
    out += ',';
    csv_optional(out, t.resolution);
    out += ',';
    number(out, t.temperature);
    out += t.speed_ok() ? ",1" : ",0";
    out += t.temperature_low() ? ",1" : ",0";
    out += t.heater_active() ? ",1" : ",0";
    out += ',';
    number(out, static_cast<std::int64_t>(t.stripes.size()));
    for (const link::Stripe& s : t.stripes) {
        out += ',';
        number(out, s.record.start);
        out += ',';
        number(out, s.end);
        out += ',';
        number(out, s.record.width);
        out += ',';
        csv_optional(out, s.gap);
        out += ',';
        number(out, s.record.code);
        out += ',';
        csv_optional(out, s.tag_width);
        out += ',';
        csv_optional(out, s.tag_angle);
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
    return "t_ms,resolution,temperature,speed_ok,temperature_low,heater_active,stripes,"
           "start,end,width,gap,code,tag_width,tag_angle\n";
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
