#pragma once

#include <string_view>
#include <utility>

namespace trx {

// Diagnostics by category, silent unless switched on. What a technician must see goes into a
// box or a status text; this is for whoever looks into a misbehaving link or update afterwards.
// It lives below every library so that the link, the flash host and the recorder can say what
// happened where it happens.
enum class LogLevel { debug, info, warning };

// One category per folder, named once.
namespace log_category {
inline constexpr std::string_view link = "trx.link";
inline constexpr std::string_view flash = "trx.flash";
inline constexpr std::string_view session = "trx.session"; // the service layer
inline constexpr std::string_view capture = "trx.capture";
inline constexpr std::string_view platform = "trx.platform";
inline constexpr std::string_view main = "trx.main";
inline constexpr std::string_view monitor = "trx.monitor";
inline constexpr std::string_view para = "trx.para";
inline constexpr std::string_view update = "trx.update"; // the update window (src/sw_update)
inline constexpr std::string_view cli = "trx.cli";
inline constexpr std::string_view startup = "trx.startup"; // the programs' main()s
} // namespace log_category

class Log {
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    Log(Log&&) = delete;
    Log& operator=(Log&&) = delete;
    virtual ~Log() = default;
    // Whether a message of this level and category would go anywhere; callers skip building
    // its text otherwise (log_if).
    [[nodiscard]] virtual bool enabled(LogLevel level, std::string_view category) const = 0;
    virtual void write(LogLevel level, std::string_view category, std::string_view text) = 0;
};

// Writes nowhere: the default when a front end gives no log.
class SilentLog final : public Log {
public:
    [[nodiscard]] bool enabled(LogLevel /*level*/, std::string_view /*category*/) const override {
        return false;
    }
    void write(LogLevel /*level*/, std::string_view /*category*/,
               std::string_view /*text*/) override {}
};

// Writes the text `make()` returns, building it only when the log takes this level and
// category: `log_if(log, LogLevel::debug, log_category::link, [&] { return "..." + x; });`
template <class MakeText>
void log_if(Log& log, LogLevel level, std::string_view category, MakeText&& make) {
    if (log.enabled(level, category)) {
        log.write(level, category, std::forward<MakeText>(make)());
    }
}

// The same for an optional log: nothing when it is null.
template <class MakeText>
void log_if(Log* log, LogLevel level, std::string_view category, MakeText&& make) {
    if (log != nullptr) {
        log_if(*log, level, category, std::forward<MakeText>(make));
    }
}

} // namespace trx
