#include "cli/update_report.hpp"

#include "base/numtext.hpp"
#include "service/update_log.hpp"

#include <algorithm>

namespace trx::cli {

void UpdateReport::log_line(const service::UpdateLogLine& line) {
    end_progress();
    out_ << line.text << '\n' << std::flush;
}

void UpdateReport::end_progress() {
    if (in_place_) {
        err_ << '\n' << std::flush;
        in_place_ = false;
    }
}

void UpdateReport::progress(const FlashProgress& p) {
    constexpr int k_steps = 1000;
    const bool known = p.total > 0;
    const std::int64_t done = known ? std::clamp<std::int64_t>(p.done, 0, p.total) : 0;
    const int per_mille = known ? static_cast<int>(done * k_steps / p.total) : 0;
    // A terminal follows every per cent, a file or pipe every ten.
    const int granule = terminal_ ? 10 : 100;
    const int key = static_cast<int>(p.phase) * (k_steps + 1) + per_mille / granule * granule;
    if (key == shown_) {
        return;
    }
    shown_ = key;
    std::string text(service::update_log::phase_name(p.phase));
    if (known) {
        text += "  " + num::dec(per_mille / 10) + " %";
    }
    if (terminal_) {
        err_ << '\r' << text << "      " << std::flush;
        in_place_ = true;
    } else {
        err_ << text << '\n' << std::flush;
    }
}

} // namespace trx::cli
