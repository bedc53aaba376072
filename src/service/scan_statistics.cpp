#include "service/scan_statistics.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <cmath>

namespace trx::service {

namespace {

std::int32_t on_circle(std::int64_t angle, std::int64_t r) {
    return static_cast<std::int32_t>(((angle % r) + r) % r);
}

// Sample variance (n - 1) from the sums; 0 below two values.
double variance(std::int64_t sum, std::int64_t sum_sq, int n) {
    if (n < 2) {
        return 0;
    }
    const double mean = static_cast<double>(sum) / n;
    const double var = (static_cast<double>(sum_sq) - mean * static_cast<double>(sum)) / (n - 1);
    return var > 0 ? var : 0;
}

double deviation(std::int64_t sum, std::int64_t sum_sq, int n) {
    return std::sqrt(variance(sum, sum_sq, n));
}

std::string code_text(int code) {
    return "code " + num::dec(code);
}

} // namespace

std::string event_kind_name(EventKind kind) {
    switch (kind) {
    case EventKind::new_code:
        return "new";
    case EventKind::lost:
        return "lost";
    case EventKind::low_rate:
        return "low_rate";
    case EventKind::wandering:
        return "wandering";
    case EventKind::restarted:
        return "restarted";
    }
    return "?";
}

ScanStatistics::ScanStatistics(StatisticsSettings settings) : settings_(settings) {
    set_window(settings_.window);
}

void ScanStatistics::set_window(int turns) {
    settings_.window = std::clamp(turns, 1, k_largest_window);
    ring_.clear();
    ring_.resize(static_cast<std::size_t>(settings_.window));
    reset();
}

void ScanStatistics::reset(const std::string& why) {
    for (Slot& s : ring_) {
        s.readings.clear();
    }
    head_ = 0;
    used_ = 0;
    turn_no_ = 0;
    recent_count_ = 0;
    codes_.fill(CodeSums{});
    read_in_turn_.fill(0);
    known_.clear();
    trend_.clear();
    if (!why.empty()) {
        restarted_ = why;
        note(EventKind::restarted, 0, why);
    }
}

// Angles of one resolution do not mix with those of another: the figures start afresh.
void ScanStatistics::restart_if_resolution_changed(const Turn& turn) {
    if (!turn.resolution) {
        return;
    }
    if (resolution_ && *resolution_ != *turn.resolution) {
        const std::string why = "Statistics restarted: the resolution changed from " +
                                num::dec(*resolution_) + " to " + num::dec(*turn.resolution) + ".";
        resolution_ = turn.resolution;
        reset(why);
        return;
    }
    resolution_ = turn.resolution;
}

// The slot the new turn goes into; the oldest turn leaves the sums first once N are held.
ScanStatistics::Slot& ScanStatistics::next_slot() {
    const std::size_t n = ring_.size();
    const std::size_t index = (head_ + used_) % n;
    Slot& slot = ring_[index];
    if (used_ == n) {
        for (const Reading& r : slot.readings) {
            leave(r);
        }
        head_ = (head_ + 1) % n;
    } else {
        ++used_;
    }
    slot.readings.clear();
    return slot;
}

// Turns per second over the last few intervals: frames that reach the program in one batch
// from the serial driver, a millisecond apart, are not a turn rate of 1000 a second. A clock
// that went back starts the intervals afresh; no interval of length 0 is divided by.
std::optional<double> ScanStatistics::turn_rate(std::int64_t t_ms) {
    if (recent_count_ > 0 &&
        t_ms < recent_t_ms_[(recent_next_ + recent_t_ms_.size() - 1) % recent_t_ms_.size()]) {
        recent_count_ = 0;
    }
    std::optional<double> rate;
    if (recent_count_ > 0) {
        const std::size_t oldest =
            (recent_next_ + recent_t_ms_.size() - recent_count_) % recent_t_ms_.size();
        const std::int64_t span = t_ms - recent_t_ms_[oldest];
        if (span > 0) {
            rate = 1000.0 * static_cast<double>(recent_count_) / static_cast<double>(span);
        }
    }
    recent_t_ms_[recent_next_] = t_ms;
    recent_next_ = (recent_next_ + 1) % recent_t_ms_.size();
    recent_count_ = std::min(recent_count_ + 1, recent_t_ms_.size());
    return rate;
}

void ScanStatistics::add(const Turn& turn) {
    restart_if_resolution_changed(turn);
    ++turn_no_;
    now_ms_ = turn.t_ms;
    Slot& slot = next_slot();
    slot.t_ms = turn.t_ms;
    slot.rate = turn_rate(turn.t_ms);
    slot.temperature = turn.temperature;
    slot.stripes = static_cast<std::int32_t>(turn.stripes.size());
    slot.status_word = turn.status_word;
    trend_.add_turn(turn.t_ms, slot.rate, slot.temperature, slot.stripes);
    take_readings(turn, slot);
    check_events();
}

// One reading per code and turn: a code read twice counts once, its first reading gives the
// angle and width, and the turn counts as a duplicate for it.
void ScanStatistics::take_readings(const Turn& turn, Slot& slot) {
    for (const link::Stripe& s : turn.stripes) {
        const int code = s.record.code;
        if (code <= 0 || code > 255) {
            continue;
        }
        const auto c = static_cast<std::size_t>(code);
        if (read_in_turn_[c] == turn_no_) {
            Reading& first = slot.readings[slot_index_[c]];
            if (!first.duplicate) {
                first.duplicate = true;
                ++codes_[c].duplicates;
            }
            continue;
        }
        read_in_turn_[c] = turn_no_;
        slot_index_[c] = static_cast<std::uint16_t>(slot.readings.size());
        Reading r;
        r.code = static_cast<std::uint8_t>(code);
        if (s.tag_angle && s.tag_width && resolution_) {
            r.measured = true;
            r.angle = on_circle(*s.tag_angle, *resolution_);
            r.width = *s.tag_width;
        }
        CodeSums& sums = codes_[c];
        if (!sums.known) {
            sums.known = true;
            sums.reference = r.angle;
            known_.push_back(code);
            note(EventKind::new_code, code, code_text(code) + " read for the first time");
        }
        if (sums.measured == 0 && r.measured) {
            sums.reference = r.angle;
        }
        sums.last_seen = turn_no_;
        sums.lost = false;
        slot.readings.push_back(r);
        enter(r);
        trend_.add_code(code);
        rebase_if_drifted(code);
    }
}

// An angle as an offset from the code's reference, the short way round the circle: readings
// on both sides of angle 0 are a few increments apart, not nearly a turn.
std::int64_t ScanStatistics::offset(const CodeSums& c, std::int32_t angle) const {
    const std::int64_t r = resolution_.value_or(1);
    std::int64_t d = angle - c.reference;
    if (d > r / 2) {
        d -= r;
    } else if (d <= -(r / 2) && d != 0) {
        d += r;
    }
    return d;
}

void ScanStatistics::enter(const Reading& r) {
    CodeSums& c = codes_[r.code];
    ++c.seen;
    if (r.measured) {
        const std::int64_t d = offset(c, r.angle);
        ++c.measured;
        c.sum_d += d;
        c.sum_d2 += d * d;
        c.sum_w += r.width;
        c.sum_w2 += r.width * r.width;
    }
}

void ScanStatistics::leave(const Reading& r) {
    CodeSums& c = codes_[r.code];
    --c.seen;
    if (r.duplicate) {
        --c.duplicates;
    }
    if (r.measured) {
        const std::int64_t d = offset(c, r.angle);
        --c.measured;
        c.sum_d -= d;
        c.sum_d2 -= d * d;
        c.sum_w -= r.width;
        c.sum_w2 -= r.width * r.width;
    }
}

// A tag that moved far from its reference: the offsets are summed anew around its mean, so
// they stay short of half a turn and the circle's wrap stays out of the sums.
void ScanStatistics::rebase_if_drifted(int code) {
    CodeSums& c = codes_[static_cast<std::size_t>(code)];
    const std::int64_t r = resolution_.value_or(0);
    // |mean offset| > R/8, without a division on every reading
    if (c.measured == 0 || r < 8 || std::llabs(c.sum_d) <= (r / 8) * c.measured) {
        return;
    }
    const std::int32_t mean = on_circle(c.reference + c.sum_d / c.measured, r);
    CodeSums fresh = c;
    fresh.reference = mean;
    fresh.sum_d = fresh.sum_d2 = 0;
    for (const Slot& slot : ring_) {
        for (const Reading& reading : slot.readings) {
            if (reading.code == code && reading.measured) {
                const std::int64_t d = offset(fresh, reading.angle);
                fresh.sum_d += d;
                fresh.sum_d2 += d * d;
            }
        }
    }
    c = fresh;
}

double ScanStatistics::angle_limit() const {
    return resolution_ ? settings_.angle_sd_deg / 360.0 * static_cast<double>(*resolution_) : 0;
}

// Runs for every known code at every turn: compares squares and products, no root and no
// division, so 48 codes stay within the per-turn budget.
void ScanStatistics::check_events() {
    const bool full = used_ == ring_.size();
    const double limit = angle_limit();
    const double low_seen = settings_.rate_threshold * static_cast<double>(used_);
    for (const int code : known_) {
        CodeSums& c = codes_[static_cast<std::size_t>(code)];
        if (!c.lost && turn_no_ - c.last_seen >= settings_.lost_after) {
            c.lost = true;
            note(EventKind::lost, code,
                 code_text(code) + " not read for " + num::dec(settings_.lost_after) + " turns");
        }
        // Rates count once the window is full: the first turns after a start say little.
        if (full) {
            const bool low = static_cast<double>(c.seen) < low_seen;
            if (low && !c.low_rate) {
                note(EventKind::low_rate, code,
                     code_text(code) + " read in " + num::dec(c.seen) + " of " +
                         num::dec(static_cast<std::int64_t>(used_)) + " turns");
            }
            c.low_rate = low;
        }
        if (limit > 0 && c.seen > 0 && c.last_seen == turn_no_) {
            const bool wide = variance(c.sum_d, c.sum_d2, c.measured) > limit * limit;
            if (wide && !c.wandering) {
                note(EventKind::wandering, code,
                     code_text(code) + ": angle deviation over the threshold");
            }
            c.wandering = wide;
        }
    }
}

void ScanStatistics::note(EventKind kind, int code, std::string text) {
    events_.push_back({kind, turn_no_, now_ms_, code, std::move(text)});
    ++event_count_;
    if (events_.size() > k_kept_events) {
        events_.pop_front();
    }
}

TagFigures ScanStatistics::figures(int code) const {
    const CodeSums& c = codes_[static_cast<std::size_t>(code)];
    TagFigures f;
    f.code = code;
    f.seen = c.seen;
    f.duplicates = c.duplicates;
    f.read_rate = used_ == 0 ? 0 : static_cast<double>(c.seen) / static_cast<double>(used_);
    f.last_seen = c.last_seen;
    if (c.measured > 0 && resolution_) {
        const double mean_d = static_cast<double>(c.sum_d) / c.measured;
        const auto r = static_cast<double>(*resolution_);
        double mean = std::fmod(c.reference + mean_d, r);
        if (mean < 0) {
            mean += r;
        }
        f.angle_mean = mean;
        f.angle_sd = deviation(c.sum_d, c.sum_d2, c.measured);
        f.width_mean = static_cast<double>(c.sum_w) / c.measured;
        f.width_sd = deviation(c.sum_w, c.sum_w2, c.measured);
    }
    f.low_rate = used_ > 0 && f.read_rate < settings_.rate_threshold;
    f.wandering = angle_limit() > 0 && f.angle_sd > angle_limit();
    return f;
}

StatisticsSummary ScanStatistics::summary() const {
    StatisticsSummary s;
    s.window = settings_.window;
    s.turns = static_cast<std::int64_t>(used_);
    s.partial = used_ < ring_.size();
    s.total_turns = turn_no_;
    s.resolution = resolution_;
    s.restarted = restarted_;
    s.angle_sd_limit = angle_limit();
    double rate_sum = 0;
    int rated = 0;
    std::array<int, 3> bits{};
    const auto widen = [](Spread& sp, double v) {
        sp.min = sp.any ? std::min(sp.min, v) : v;
        sp.max = sp.any ? std::max(sp.max, v) : v;
        sp.mean += v;
        sp.any = true;
    };
    for (std::size_t i = 0; i < used_; ++i) {
        const Slot& slot = ring_[(head_ + i) % ring_.size()];
        // The oldest turn's rate reaches back to a turn no longer in the window.
        if (slot.rate && i > 0) {
            widen(s.turn_rate, *slot.rate);
            rate_sum += *slot.rate;
            ++rated;
        }
        widen(s.temperature, slot.temperature);
        widen(s.stripes_per_turn, slot.stripes);
        for (std::size_t b = 0; b < bits.size(); ++b) {
            bits[b] += (slot.status_word >> b) & 1;
        }
    }
    if (used_ > 0) {
        const auto n = static_cast<double>(used_);
        s.temperature.mean /= n;
        s.stripes_per_turn.mean /= n;
        for (std::size_t b = 0; b < bits.size(); ++b) {
            s.status_share[b] = bits[b] / n;
        }
    }
    if (rated > 0) {
        // The mean rate is turns over the time they took, not the mean of the intervals' rates.
        const Slot& first = ring_[head_];
        const Slot& last = ring_[(head_ + used_ - 1) % ring_.size()];
        s.turn_rate.mean = last.t_ms > first.t_ms ? 1000.0 * static_cast<double>(used_ - 1) /
                                                        static_cast<double>(last.t_ms - first.t_ms)
                                                  : rate_sum / rated;
    }
    std::vector<int> codes = known_;
    std::sort(codes.begin(), codes.end());
    s.tags.reserve(codes.size());
    for (const int code : codes) {
        s.tags.push_back(figures(code));
    }
    if (s.tags.empty()) {
        if (type_ != link::ScannerType::ya && type_ != link::ScannerType::unknown) {
            s.no_tags = "A \"" + std::string(link::type_text(type_)) +
                        "\" scanner sends no tag codes; the turn figures still apply.";
        } else if (used_ == 0) {
            s.no_tags = "No turn has been received yet.";
        } else {
            s.no_tags = "No coded tag was read in these turns.";
        }
    }
    return s;
}

} // namespace trx::service
