#pragma once

#include "flashlib/flash_library.hpp"

#include <chrono>
#include <optional>
#include <string>

namespace trx::service {

// How long the phase under way still takes, from its pace so far: known once a twentieth of it
// is done and a second has passed, so that the first frames' start-up does not mislead.
class TimeLeft {
public:
    // A report at `now` (any monotonic time); the estimate in seconds, when there is one.
    std::optional<double> update(const FlashProgress& p, std::chrono::nanoseconds now);

private:
    std::optional<FlashProgress::Phase> phase_;
    std::chrono::nanoseconds started_{};
    std::int64_t done_at_start_ = 0;
};

// "0:42 left", "12:05 left".
std::string time_left_text(double seconds);

} // namespace trx::service
