#include "cli/stderr_log.hpp"

#include "base/numtext.hpp"

#include <algorithm>

namespace trx::cli {

namespace {

std::string_view level_name(ui::LogLevel level) {
    switch (level) {
    case ui::LogLevel::debug:
        return "debug";
    case ui::LogLevel::info:
        return "info";
    case ui::LogLevel::warning:
        return "warning";
    }
    return "?";
}

// v, at least `width` digits wide with leading zeros (v is not negative here).
std::string padded(std::int64_t v, std::size_t width) {
    std::string text = num::dec(v);
    if (text.size() < width) {
        text.insert(0, width - text.size(), '0');
    }
    return text;
}

// HH:MM:SS.mmm of the UTC day: the system clock counts UTC, leap seconds left out.
std::string time_of_day(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto since_midnight = floor<milliseconds>(t) - floor<days>(t);
    const hh_mm_ss<milliseconds> hms(since_midnight);
    return padded(hms.hours().count(), 2) + ":" + padded(hms.minutes().count(), 2) + ":" +
           padded(hms.seconds().count(), 2) + "." + padded(hms.subseconds().count(), 3);
}

} // namespace

std::string log_line(std::chrono::system_clock::time_point t, ui::LogLevel level,
                     std::string_view category, std::string_view text) {
    while (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    std::string line = time_of_day(t);
    line += ' ';
    line += category;
    line += ' ';
    line += level_name(level);
    line += ": ";
    const std::size_t start = line.size();
    line += text;
    std::replace(line.begin() + static_cast<std::ptrdiff_t>(start), line.end(), '\n', ' ');
    line += '\n';
    return line;
}

bool StderrLog::enabled(ui::LogLevel level, std::string_view /*category*/) const {
    return level >= level_;
}

void StderrLog::write(ui::LogLevel level, std::string_view category, std::string_view text) {
    if (!enabled(level, category)) {
        return;
    }
    const std::string line = log_line(now_(), level, category, text);
    const std::lock_guard lock(mutex_);
    err_ << line << std::flush;
}

} // namespace trx::cli
