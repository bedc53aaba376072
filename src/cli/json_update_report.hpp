#pragma once

#include "service/firmware_update.hpp"
#include "service/time_left.hpp"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace trx::cli {

// flash --json: one JSON object per line on stdout, for scripts. "image" (the identity and
// what it allows), "phase" (connect, check, erase, program, verify, restart as each begins),
// "rate" (the line's rate once it changes), "progress" (bytes done, in all, seconds left, the
// rate) and, last, "result".
class JsonUpdateReport final : public service::UpdateObserver {
public:
    using Now = std::function<std::chrono::nanoseconds()>;
    JsonUpdateReport(std::ostream& out, std::string port, Now now);

    void log_line(const service::UpdateLogLine& /*line*/) override {}
    void step(service::UpdateStep step, const service::UpdateValues& values) override;
    void progress(const FlashProgress& p) override;
    void image_checked(const service::ImageCheck& check) override;
    void transfer_rate(std::int64_t baud) override;

    // The last line: what became of the run.
    struct Result {
        bool ok = false;
        std::optional<std::uint32_t> serial_number;
        std::optional<std::uint32_t> image_crc;
        std::int32_t sectors_skipped = 0;
        std::string step;              // the step that failed; empty after success
        std::string reason;            // why
        std::optional<bool> identical; // verify's finding
    };
    void result(const Result& r);

private:
    void phase(std::string_view name);

    std::ostream& out_;
    std::string port_;
    Now now_;
    std::chrono::nanoseconds started_;
    service::TimeLeft left_;
    std::string phase_;
    int last_per_mille_ = -1;
    std::int64_t baud_ = 57600; // the line's rate in use, in every progress line and the result
};

// The name of a step, as the JSON lines and the command line's messages give it.
std::string_view step_name(service::UpdateStep step);

} // namespace trx::cli
