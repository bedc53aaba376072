#pragma once

#include "ui/services.hpp"

#include <QLoggingCategory>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace trx::ui::qt {

// Diagnostics through Qt's logging categories ("trx.link", "trx.flash", ...). Every category
// is silent until switched on, by QT_LOGGING_RULES="trx.*=true" or by enable_all().
class QtLog : public Log {
public:
    [[nodiscard]] bool enabled(LogLevel level, std::string_view category) const override;
    void write(LogLevel level, std::string_view category, std::string_view text) override;

    // Every trx category at every level, whatever the environment says.
    static void enable_all();

private:
    const QLoggingCategory& category(std::string_view name) const;

    // Categories keep a pointer to their name, so both live here for the life of the log.
    mutable std::map<std::string, std::unique_ptr<QLoggingCategory>, std::less<>> categories_;
};

} // namespace trx::ui::qt
