#include "cli/stats_report.hpp"

#include "base/numtext.hpp"
#include "cli/command_line.hpp"
#include "service/statistics_layout.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace trx::cli {

namespace {

using service::k_increment_places;
using service::point_decimal;
using service::rounded;

constexpr int k_figure_places = 2;

nlohmann::ordered_json spread_json(const service::Spread& s) {
    if (!s.any) {
        return nullptr;
    }
    return {{"min", rounded(s.min, k_figure_places)},
            {"max", rounded(s.max, k_figure_places)},
            {"mean", rounded(s.mean, k_figure_places)}};
}

nlohmann::ordered_json tag_json(const service::TagFigures& t) {
    const auto& n = service::k_tag_columns;
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j[n[0]] = t.code;
    j[n[1]] = t.seen;
    j[n[2]] = rounded(t.read_rate, service::k_rate_places);
    j[n[3]] = t.duplicates;
    j[n[4]] = rounded(t.angle_mean, k_increment_places);
    j[n[5]] = rounded(t.angle_sd, k_increment_places);
    j[n[6]] = rounded(t.width_mean, k_increment_places);
    j[n[7]] = rounded(t.width_sd, k_increment_places);
    j[n[8]] = t.last_seen;
    return j;
}

std::string json_report(const service::ScanStatistics& stats) {
    const service::StatisticsSummary s = stats.summary();
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["turns"] = s.turns;
    j["window"] = s.window;
    j["partial"] = s.partial;
    j["resolution"] = s.resolution ? nlohmann::ordered_json(*s.resolution) : nullptr;
    j["turn_rate"] = spread_json(s.turn_rate);
    j["temperature"] = spread_json(s.temperature);
    j["stripes_per_turn"] = spread_json(s.stripes_per_turn);
    j["speed_ok"] = rounded(s.status_share[0], service::k_rate_places);
    j["temperature_low"] = rounded(s.status_share[1], service::k_rate_places);
    j["heater_active"] = rounded(s.status_share[2], service::k_rate_places);
    nlohmann::ordered_json tags = nlohmann::ordered_json::array();
    for (const service::TagFigures& t : s.tags) {
        tags.push_back(tag_json(t));
    }
    j["tags"] = std::move(tags);
    if (!s.no_tags.empty()) {
        j["no_tags"] = s.no_tags;
    }
    if (!s.restarted.empty()) {
        j["restarted"] = s.restarted;
    }
    nlohmann::ordered_json events = nlohmann::ordered_json::array();
    for (const service::StatisticsEvent& e : stats.events()) {
        events.push_back({{"turn", e.turn},
                          {"t_ms", e.t_ms},
                          {"kind", service::event_kind_name(e.kind)},
                          {"code", e.code},
                          {"text", e.text}});
    }
    j["events"] = std::move(events);
    return j.dump() + "\n";
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

std::string spread_line(const char* name, const service::Spread& s, const char* unit) {
    std::string line = name;
    line.resize(14, ' ');
    if (!s.any) {
        return line + "none\n";
    }
    return line + "min " + point_decimal(s.min, k_figure_places) + "  max " +
           point_decimal(s.max, k_figure_places) + "  mean " +
           point_decimal(s.mean, k_figure_places) + " " + unit + "\n";
}

std::string percent(double share) {
    return point_decimal(share * 100, 1) + " %";
}

std::string text_report(const service::ScanStatistics& stats) {
    const service::StatisticsSummary s = stats.summary();
    std::string out = "Scan statistics over " + num::dec(s.turns) + " turns";
    if (s.partial) {
        out += " (fewer than the window of " + num::dec(s.window) + ": rates over the turns seen)";
    }
    out += s.resolution ? ", resolution " + num::dec(*s.resolution) : std::string{};
    out += "\n";
    if (!s.restarted.empty()) {
        out += s.restarted + "\n";
    }
    out += spread_line("turn rate", s.turn_rate, "turns/s");
    out += spread_line("temperature", s.temperature, "degrees C");
    out += spread_line("stripes", s.stripes_per_turn, "per turn");
    out += "status bits   speed OK " + percent(s.status_share[0]) + ", temperature low " +
           percent(s.status_share[1]) + ", heater active " + percent(s.status_share[2]) + "\n\n";
    if (s.tags.empty()) {
        return out + s.no_tags + "\n";
    }
    out += "code  read %   seen  dup  angle deg   angle  +-incr   width  +-incr  last seen\n";
    const double deg = s.resolution ? 360.0 / static_cast<double>(*s.resolution) : 0;
    for (const service::TagFigures& t : s.tags) {
        out += padded(num::dec(t.code), 4) + padded(point_decimal(t.read_rate * 100, 2), 8) +
               padded(num::dec(t.seen), 7) + padded(num::dec(t.duplicates), 5) +
               padded(point_decimal(t.angle_mean * deg, 3), 11) +
               padded(point_decimal(t.angle_mean, 1), 8) + padded(point_decimal(t.angle_sd, 2), 8) +
               padded(point_decimal(t.width_mean, 1), 8) + padded(point_decimal(t.width_sd, 2), 8) +
               padded(num::dec(t.last_seen), 11) + (t.low_rate ? "  low read rate" : "") +
               (t.wandering ? "  wanders" : "") + "\n";
    }
    return out;
}

} // namespace

int stats_window(const CommandLine& line, int fallback) {
    const auto turns = line.option("--turns");
    const std::uint64_t n = turns ? num::parse_whole(*turns).value_or(1) : 0;
    if (n == 0) {
        return fallback;
    }
    return static_cast<int>(std::min<std::uint64_t>(n, service::ScanStatistics::k_largest_window));
}

std::string stats_report(const service::ScanStatistics& stats, TurnFormat format) {
    switch (format) {
    case TurnFormat::json:
        return json_report(stats);
    case TurnFormat::csv:
        return service::statistics_csv(stats.summary());
    case TurnFormat::text:
        break;
    }
    return text_report(stats);
}

} // namespace trx::cli
