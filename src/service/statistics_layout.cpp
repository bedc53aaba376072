#include "service/statistics_layout.hpp"

#include "base/numtext.hpp"

#include <cmath>

namespace trx::service {

namespace {

std::int64_t scale(int places) {
    std::int64_t s = 1;
    for (int i = 0; i < places; ++i) {
        s *= 10;
    }
    return s;
}

} // namespace

double rounded(double v, int places) {
    const auto s = static_cast<double>(scale(places));
    return std::round(v * s) / s;
}

std::string point_decimal(double v, int places) {
    if (!std::isfinite(v)) {
        return "";
    }
    const auto scaled =
        static_cast<std::int64_t>(std::llround(v * static_cast<double>(scale(places))));
    std::string text = num::fixed_comma(scaled, places);
    for (char& c : text) {
        if (c == ',') {
            c = '.';
        }
    }
    return text;
}

std::string statistics_csv(const StatisticsSummary& summary) {
    std::string out;
    for (std::size_t i = 0; i < k_tag_columns.size(); ++i) {
        out += (i == 0 ? "" : ",");
        out += k_tag_columns[i];
    }
    out += '\n';
    for (const TagFigures& t : summary.tags) {
        out += num::dec(t.code) + "," + num::dec(t.seen) + "," +
               point_decimal(t.read_rate, k_rate_places) + "," + num::dec(t.duplicates) + "," +
               point_decimal(t.angle_mean, k_increment_places) + "," +
               point_decimal(t.angle_sd, k_increment_places) + "," +
               point_decimal(t.width_mean, k_increment_places) + "," +
               point_decimal(t.width_sd, k_increment_places) + "," + num::dec(t.last_seen) + "\n";
    }
    return out;
}

} // namespace trx::service
