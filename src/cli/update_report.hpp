#pragma once

#include "service/firmware_update.hpp"

#include <ostream>

namespace trx::cli {

// The update log on stdout, line by line as the update window writes it, and the progress of
// erase and program on stderr: rewritten in place on a terminal, a line per tenth otherwise.
class UpdateReport final : public service::UpdateObserver {
public:
    UpdateReport(std::ostream& out, std::ostream& err, bool err_is_terminal)
        : out_(out), err_(err), terminal_(err_is_terminal) {}

    void log_line(const service::UpdateLogLine& line) override;
    void progress(const FlashProgress& p) override;

private:
    void end_progress();

    std::ostream& out_;
    std::ostream& err_;
    bool terminal_;
    int shown_ = -1;        // phase * 1000 + per mille last shown
    bool in_place_ = false; // a progress line waits for its line end
};

} // namespace trx::cli
