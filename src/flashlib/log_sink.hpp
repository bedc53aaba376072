#pragma once

#include "base/log.hpp"
#include "flashlib/flash_library.hpp"

#include <string>

namespace trx::flash {

// Where the flash host's diagnostics go: the callback the library was given, or nowhere.
// Texts are built only while a callback is set, so a silent run pays one test per place.
class LogSink {
public:
    // A sink that never has a callback, for a part that was given none.
    static const LogSink& none() {
        static const LogSink k_none;
        return k_none;
    }

    void set(FlashLogFn fn, void* context) {
        fn_ = fn;
        context_ = context;
    }
    [[nodiscard]] bool on() const { return fn_ != nullptr; }
    void write(LogLevel level, const std::string& text) const {
        if (fn_ != nullptr) {
            fn_(context_, static_cast<int>(level), text.c_str());
        }
    }
    // Builds the text with make() only when it goes somewhere.
    template <class MakeText> void operator()(LogLevel level, MakeText&& make) const {
        if (fn_ != nullptr) {
            write(level, make());
        }
    }

private:
    FlashLogFn fn_ = nullptr;
    void* context_ = nullptr;
};

static_assert(static_cast<int>(LogLevel::debug) == 0 && static_cast<int>(LogLevel::info) == 1 &&
              static_cast<int>(LogLevel::warning) == 2);

} // namespace trx::flash
