#include "service/trend_series.hpp"

namespace trx::service {

void TrendSeries::clear() {
    for (Bin& b : bins_) {
        b.second = -1;
    }
    newest_ = -1;
    current_ = nullptr;
}

void TrendSeries::add_turn(std::int64_t t_ms, std::optional<double> turn_rate,
                           std::int32_t temperature, std::int32_t stripes) {
    const std::int64_t second = t_ms < 0 ? 0 : t_ms / 1000;
    if (second < newest_) {
        clear(); // another recording, or a clock that went back: old points would mislead
    }
    Bin& b = bins_[static_cast<std::size_t>(second % k_seconds)];
    if (b.second != second) {
        b = Bin{};
        b.second = second;
    }
    newest_ = second;
    current_ = &b;
    ++b.turns;
    if (turn_rate) {
        ++b.rated;
        b.rate_sum += *turn_rate;
    }
    b.temperature_sum += temperature;
    b.stripes_sum += stripes;
}

void TrendSeries::add_code(int code) {
    if (current_ != nullptr && code > 0 && code < 256) {
        ++current_->seen[static_cast<std::size_t>(code)];
    }
}

std::vector<TrendPoint> TrendSeries::points(int code) const {
    std::vector<TrendPoint> out;
    if (newest_ < 0) {
        return out;
    }
    out.reserve(k_seconds);
    for (std::int64_t s = newest_ - k_seconds + 1; s <= newest_; ++s) {
        if (s < 0) {
            continue;
        }
        const Bin& b = bins_[static_cast<std::size_t>(s % k_seconds)];
        if (b.second != s || b.turns == 0) {
            continue;
        }
        TrendPoint p;
        p.second = s;
        if (b.rated > 0) {
            p.turn_rate = b.rate_sum / b.rated;
        }
        p.temperature = static_cast<double>(b.temperature_sum) / b.turns;
        p.stripes = static_cast<double>(b.stripes_sum) / b.turns;
        if (code > 0 && code < 256) {
            p.read_rate = static_cast<double>(b.seen[static_cast<std::size_t>(code)]) / b.turns;
        }
        out.push_back(p);
    }
    return out;
}

} // namespace trx::service
