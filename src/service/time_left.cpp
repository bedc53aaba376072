#include "service/time_left.hpp"

#include "base/numtext.hpp"

#include <cmath>

namespace trx::service {

namespace {
constexpr double k_least_share = 0.05;
constexpr double k_least_seconds = 1.0;
} // namespace

std::optional<double> TimeLeft::update(const FlashProgress& p, std::chrono::nanoseconds now) {
    if (phase_ != p.phase) {
        phase_ = p.phase;
        started_ = now;
        done_at_start_ = p.done;
        return std::nullopt;
    }
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const auto done = static_cast<double>(p.done - done_at_start_);
    const auto total = static_cast<double>(p.total);
    if (p.total <= 0 || done <= 0 || elapsed < k_least_seconds ||
        static_cast<double>(p.done) < k_least_share * total) {
        return std::nullopt;
    }
    const double rest = total - static_cast<double>(p.done);
    return rest <= 0 ? 0.0 : rest * elapsed / done;
}

std::string time_left_text(double seconds) {
    const auto whole = static_cast<std::int64_t>(std::ceil(std::max(seconds, 0.0)));
    const std::string s = num::dec(whole % 60);
    return num::dec(whole / 60) + ":" + (s.size() < 2 ? "0" : "") + s + " left";
}

} // namespace trx::service
