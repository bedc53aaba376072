// The program's network port opened without holding the window up: the connect runs apart,
// its outcome comes back through the event loop, and a close or the port's end meanwhile
// leaves nothing behind.
#include "loopback_server.hpp"
#include "qt/qt_net_port.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using trx::net::testing::Listener;
using trx::ui::OpenResult;
using trx::ui::qt::QtNetPort;

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "qt_net_port_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

// Runs the event loop until `done` holds, at most 5 s.
template <class Done> bool spin_until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        app().processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

TEST(QtNetPortLater, TheOutcomeComesThroughTheEventLoop) {
    app();
    const Listener server;
    QtNetPort port;
    port.set_port_name(server.address());
    std::optional<OpenResult> outcome;
    port.open_later([&](OpenResult r) { outcome = std::move(r); });
    EXPECT_FALSE(outcome.has_value()) << "the caller is not held up";
    ASSERT_TRUE(spin_until([&] { return outcome.has_value(); }));
    EXPECT_TRUE(outcome->ok) << outcome->reason;
    EXPECT_TRUE(port.is_open());
    port.close();

    // Nothing listens any more: the reason of a refused connection.
    const std::string gone = server.address();
    ::close(server.fd);
    QtNetPort refused;
    refused.set_port_name(gone);
    outcome.reset();
    refused.open_later([&](OpenResult r) { outcome = std::move(r); });
    ASSERT_TRUE(spin_until([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->ok);
    EXPECT_NE(outcome->reason.find("refused the connection"), std::string::npos) << outcome->reason;
    EXPECT_FALSE(refused.is_open());
}

TEST(QtNetPortLater, ACloseMeanwhileLeavesThePortClosed) {
    app();
    const Listener server;
    QtNetPort port;
    port.set_port_name(server.address());
    std::optional<OpenResult> outcome;
    port.open_later([&](OpenResult r) { outcome = std::move(r); });
    port.close();
    ASSERT_TRUE(spin_until([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(outcome->reason, "The open was cancelled.");
    EXPECT_FALSE(port.is_open());

    // A bad address is said at once, without a thread.
    port.set_port_name("socket://scanner");
    outcome.reset();
    port.open_later([&](OpenResult r) { outcome = std::move(r); });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_NE(outcome->reason.find("names no port"), std::string::npos) << outcome->reason;
}

// The reopen after a lost link against a server that takes the connection and never speaks
// Telnet: the attempt is over within the retry rhythm plus a connect, not after every bound of
// a first open in turn.
TEST(QtNetPortLater, ASilentServerHoldsAReopenAtMostAboutThreeSeconds) {
    app();
    const Listener server;
    QtNetPort port;
    port.set_port_name(server.address("rfc2217"));
    std::optional<OpenResult> outcome;
    const auto before = std::chrono::steady_clock::now();
    port.open_later([&](OpenResult r) { outcome = std::move(r); });
    ASSERT_TRUE(spin_until([&] { return outcome.has_value(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3500ms);
    EXPECT_FALSE(outcome->ok);
    EXPECT_NE(outcome->reason.find("does not speak Telnet (no RFC 2217 answer within 2 s"),
              std::string::npos)
        << outcome->reason;
    EXPECT_FALSE(port.is_open());
}

// The command line's --follow reopens in the foreground: after the link was lost, the same
// port's open is bounded as the program's reopen is, not by every bound of a first open.
TEST(QtNetPortLater, AForegroundReopenAfterALostLinkIsBoundedAsAReopen) {
    app();
    const Listener server;
    std::thread script([&server] {
        // The first connection agrees to the COM port option, then breaks off.
        const int first = server.next();
        const unsigned char agree[] = {255, 253, 44}; // IAC DO COM-PORT-OPTION
        (void)::send(first, agree, sizeof agree, MSG_NOSIGNAL);
        char buf[256];
        pollfd p{first, POLLIN, 0};
        while (::poll(&p, 1, 1500) == 1 && ::recv(first, buf, sizeof buf, 0) > 0) {
        }
        ::close(first);
        // The second takes the connection and never speaks.
        const int second = server.next();
        pollfd q{second, POLLIN, 0};
        while (::poll(&q, 1, 4000) == 1 && ::recv(second, buf, sizeof buf, 0) > 0) {
        }
        ::close(second);
    });
    QtNetPort port;
    port.set_port_name(server.address("rfc2217"));
    const OpenResult first = port.open();
    ASSERT_TRUE(first.ok) << first.reason;
    bool lost = false;
    auto watch = port.lost.connect([&](const std::string&) { lost = true; });
    ASSERT_TRUE(spin_until([&] { return lost; }));
    const auto before = std::chrono::steady_clock::now();
    const OpenResult again = port.open();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3500ms);
    EXPECT_FALSE(again.ok);
    EXPECT_NE(again.reason.find("no RFC 2217 answer within 2 s"), std::string::npos)
        << again.reason;
    script.join();
}

TEST(QtNetPortLater, APortGoneMeanwhileHearsNothing) {
    app();
    const Listener server;
    bool called = false;
    {
        QtNetPort port;
        port.set_port_name(server.address());
        port.open_later([&](const OpenResult&) { called = true; });
    }
    // The outcome arrives for a port that is no more: dropped, not delivered.
    const auto until = std::chrono::steady_clock::now() + 500ms;
    spin_until([&] { return std::chrono::steady_clock::now() >= until; });
    EXPECT_FALSE(called);
}

} // namespace
