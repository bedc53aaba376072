// The flash library's log callback routed into the program's log under trx.flash.
#include "service/flash_log.hpp"
#include "testkit/recorded_log.hpp"

#include "tests/sw_update/fake_flash.hpp"

#include <gtest/gtest.h>

namespace trx::service {
namespace {

// A library that keeps the callback it is given, so the test can speak through it.
struct LoggingFlash : sw_update::testing::FakeFlash {
    FlashLogFn fn = nullptr;
    void* context = nullptr;
    void set_log(FlashLogFn f, void* c) override {
        fn = f;
        context = c;
    }
    void say(int level, const char* text) const { fn(context, level, text); }
};

// Takes only warnings of trx.flash.
struct WarningsOnly : testkit::RecordedLog {
    [[nodiscard]] bool enabled(LogLevel level, std::string_view category) const override {
        return level == LogLevel::warning && category == log_category::flash;
    }
};

TEST(FlashLogRoute, EachLevelGoesToTrxFlashAndAnUnknownOneIsAWarning) {
    LoggingFlash lib;
    testkit::RecordedLog log;
    route_flash_log(lib, log);
    ASSERT_NE(lib.fn, nullptr);
    lib.say(0, "sent HELLO seq 1, version 1");
    lib.say(1, "connected");
    lib.say(2, "no answer to HELLO, attempt 2 of 10");
    lib.say(7, "from a newer library");
    lib.say(-1, "from a confused one");
    ASSERT_EQ(log.lines().size(), 5U);
    const LogLevel expected[] = {LogLevel::debug, LogLevel::info, LogLevel::warning,
                                 LogLevel::warning, LogLevel::warning};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(log.lines()[i].level, expected[i]) << i;
        EXPECT_EQ(log.lines()[i].category, "trx.flash") << i;
    }
    EXPECT_EQ(log.lines()[0].text, "sent HELLO seq 1, version 1");

    unroute_flash_log(lib);
    EXPECT_EQ(lib.fn, nullptr);
}

TEST(FlashLogRoute, OnlyWhatTheLogTakesIsWrittenAndASilentLogGetsNoCallback) {
    LoggingFlash lib;
    WarningsOnly warnings;
    route_flash_log(lib, warnings);
    ASSERT_NE(lib.fn, nullptr);
    lib.say(0, "sent DATA seq 5, 0x000100, 256 bytes");
    lib.say(2, "failed: no answer");
    ASSERT_EQ(warnings.lines().size(), 1U);
    EXPECT_EQ(warnings.lines()[0].text, "failed: no answer");

    // A log that takes nothing of trx.flash: the library is told to build no text at all.
    SilentLog silent;
    route_flash_log(lib, silent);
    EXPECT_EQ(lib.fn, nullptr);
}

} // namespace
} // namespace trx::service
