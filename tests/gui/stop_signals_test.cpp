// Ctrl+C is answered at once: the notice comes from the signal itself, while the event loop
// may be blocked in a long step.
#include "qt/stop_signals.hpp"

#include "tests/qt_wait.hpp"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace trx::ui::qt {
namespace {

// What the process writes to stderr while `fn` runs.
template <class Fn> std::string stderr_of(Fn fn) {
    std::array<int, 2> p{};
    EXPECT_EQ(::pipe2(p.data(), O_NONBLOCK), 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(p[1], STDERR_FILENO);
    fn();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(p[1]);
    std::string text;
    std::array<char, 1024> buf{};
    for (ssize_t n = 0; (n = ::read(p[0], buf.data(), buf.size())) > 0;) {
        text.append(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(p[0]);
    return text;
}

TEST(StopSignals, TheFirstSignalWritesTheNoticeAtOnceWithoutTheEventLoop) {
    trx::test::ensure_application();
    const StopSignals stop;
    StopSignals::set_notice("a much older notice that must not show\n");
    StopSignals::set_notice("stopping after this step\n");
    // No event is handled between the signal and the read: the notice came from the handler.
    const std::string said = stderr_of([] { ::raise(SIGINT); });
    EXPECT_EQ(said, "stopping after this step\n");
    EXPECT_TRUE(StopSignals::raised());
    StopSignals::set_notice("");
}

} // namespace
} // namespace trx::ui::qt
