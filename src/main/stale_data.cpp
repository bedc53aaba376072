#include "main/stale_data.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <ctime>

namespace trx::main {

namespace {
std::string two_digits(int v) {
    return (v < 10 ? "0" : "") + num::dec(v);
}
} // namespace

std::string local_time_of_day(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return "--:--:--";
    }
    return two_digits(local.tm_hour) + ":" + two_digits(local.tm_min) + ":" +
           two_digits(local.tm_sec);
}

StaleData::StaleData(MainForm& form, ui::Clock& clock) : form_(form), clock_(clock) {}

void StaleData::frame_shown() {
    last_frame_ = clock_.utc_now();
    form_.stale_note.set_visible(false);
}

void StaleData::went_away() {
    if (!last_frame_ || stale()) {
        return;
    }
    form_.stale_note.set_caption("No live data since " + local_time_of_day(*last_frame_));
    form_.stale_note.set_visible(true);
}

bool StaleData::marks(std::string_view control) const {
    return stale() && std::ranges::find(k_live_views, control) != k_live_views.end();
}

} // namespace trx::main
