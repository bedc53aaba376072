#include "service/flash_log.hpp"

namespace trx::service {

namespace {

// A level the library gives outside the three known ones is taken as a warning: it is more
// likely to matter than to be noise.
LogLevel level_of(int level) {
    switch (level) {
    case static_cast<int>(LogLevel::debug):
        return LogLevel::debug;
    case static_cast<int>(LogLevel::info):
        return LogLevel::info;
    default:
        return LogLevel::warning;
    }
}

void forward(void* context, int level, const char* text) {
    auto* log = static_cast<Log*>(context);
    const LogLevel l = level_of(level);
    if (text != nullptr && log->enabled(l, log_category::flash)) {
        log->write(l, log_category::flash, text);
    }
}

bool takes_any(const Log& log) {
    for (const LogLevel l : {LogLevel::debug, LogLevel::info, LogLevel::warning}) {
        if (log.enabled(l, log_category::flash)) {
            return true;
        }
    }
    return false;
}

} // namespace

void route_flash_log(FlashLibrary& lib, Log& log) {
    if (!takes_any(log)) {
        lib.set_log(nullptr, nullptr);
        return;
    }
    lib.set_log(&forward, &log);
}

void unroute_flash_log(FlashLibrary& lib) {
    lib.set_log(nullptr, nullptr);
}

} // namespace trx::service
