#pragma once

#include "ui/services.hpp"

#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace trx::cli {

// trx81500-cli's log (--log[=LEVEL], -v): one line per message on stderr, from the level asked
// for on, whatever the category, each line with the wall-clock time in UTC and the category:
// "12:04:33.120 trx.flash debug: ...". The flash library logs from its worker thread, so
// every line is written whole under one lock.
class StderrLog final : public ui::Log {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    StderrLog(std::ostream& err, ui::LogLevel level, WallClock now)
        : err_(err), level_(level), now_(std::move(now)) {}

    [[nodiscard]] bool enabled(ui::LogLevel level, std::string_view category) const override;
    void write(ui::LogLevel level, std::string_view category, std::string_view text) override;

private:
    std::ostream& err_;
    ui::LogLevel level_;
    WallClock now_;
    std::mutex mutex_;
};

// One line of the log, with its newline; a message's own line breaks become blanks, so that
// every line starts with a time.
std::string log_line(std::chrono::system_clock::time_point t, ui::LogLevel level,
                     std::string_view category, std::string_view text);

} // namespace trx::cli
