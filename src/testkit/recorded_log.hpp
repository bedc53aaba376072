#pragma once

#include "ui/services.hpp"

#include <string>
#include <vector>

namespace trx::testkit {

// Keeps every diagnostic line, at every level, so a test can see what was logged.
class RecordedLog : public ui::Log {
public:
    struct Line {
        ui::LogLevel level;
        std::string category;
        std::string text;
    };

    [[nodiscard]] bool enabled(ui::LogLevel /*level*/,
                               std::string_view /*category*/) const override {
        return true;
    }
    void write(ui::LogLevel level, std::string_view category, std::string_view text) override {
        lines_.push_back({level, std::string(category), std::string(text)});
    }

    [[nodiscard]] const std::vector<Line>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    std::vector<Line> lines_;
};

} // namespace trx::testkit
