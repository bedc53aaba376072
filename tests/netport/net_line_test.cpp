// The network line against small servers of the test's own on 127.0.0.1: what each kind of
// server that will not do makes the open say, and that nothing waits without bound.
#include "netport/net_line.hpp"
#include "tests/netport/loopback_server.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace trx::net;
using namespace trx::net::telnet;
using namespace trx::net::testing;
using namespace std::chrono_literals;

NetTiming quick() {
    NetTiming t;
    t.connect = 1000ms;
    t.telnet_answer = 300ms;
    t.settings_answer = 200ms;
    return t;
}

std::string open_failure(const NetAddress& a) {
    const auto line = NetLine::open(a, 57600, quick());
    EXPECT_FALSE(line.ok());
    if (line.ok()) {
        return {};
    }
    EXPECT_EQ(line.error().kind, trx::ErrorKind::port);
    return line.error().message;
}

TEST(NetLine, NothingListeningIsARefusedConnection) {
    NetAddress a{NetKind::raw_tcp, "127.0.0.1", 0};
    {
        const Server gone([](int) {});
        a = gone.address(NetKind::raw_tcp);
        // Connect once so that the server's thread ends; the port is free afterwards.
        auto l = NetLine::open(a, 57600, quick());
        ASSERT_TRUE(l.ok());
    }
    EXPECT_EQ(open_failure(a), "127.0.0.1:" + std::to_string(a.port) +
                                   " refused the connection: nothing listens on that port");
}

TEST(NetLine, AnUnknownHostNameIsSaidSo) {
    const std::string why = open_failure({NetKind::raw_tcp, "no-such-host.invalid", 4000});
    // Without a name server the lookup itself fails; either way the name is given.
    EXPECT_TRUE(why.starts_with("The host name no-such-host.invalid ")) << why;
}

TEST(NetLine, RawTcpCarriesEveryByteAsItIs) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    std::string echoed;
    const Server s([&](int fd) { send_all(fd, receive(fd, all.size())); });
    auto line = NetLine::open(s.address(NetKind::raw_tcp), 57600, quick());
    ASSERT_TRUE(line.ok()) << line.error().message;
    ASSERT_TRUE(line.value()->write(all));
    for (int i = 0; i < 50 && echoed.size() < all.size(); ++i) {
        line.value()->wait_readable(100ms);
        ASSERT_TRUE(line.value()->read_available(echoed));
    }
    EXPECT_EQ(echoed, all);
}

TEST(NetLine, ASilentServerOnAnRfc2217AddressIsNotTelnet) {
    const Server s([](int fd) { (void)receive(fd, 1000); });
    const auto before = std::chrono::steady_clock::now();
    const std::string why = open_failure(s.address(NetKind::rfc2217));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_NE(why.find(" does not speak Telnet (no RFC 2217 answer within 0.3 s)"),
              std::string::npos)
        << why;
    EXPECT_NE(why.find("a raw TCP port is socket://127.0.0.1:"), std::string::npos) << why;
}

TEST(NetLine, ATelnetServerRefusingTheComPortOptionIsSaidSo) {
    const Server s([](int fd) {
        (void)receive(fd, 15);
        send_all(fd, bytes({k_iac, k_dont, k_com_port}));
        (void)receive(fd, 1000);
    });
    const std::string why = open_failure(s.address(NetKind::rfc2217));
    EXPECT_NE(why.find("refuses the COM port option (RFC 2217)"), std::string::npos) << why;
}

TEST(NetLine, AServerClosingDuringTheNegotiationIsSaidSo) {
    const Server s([](int fd) { (void)receive(fd, 15); });
    const std::string why = open_failure(s.address(NetKind::rfc2217));
    EXPECT_NE(why.find("closed the connection"), std::string::npos) << why;
}

// A server that agrees and never acknowledges the settings (ser2net on a device without modem
// lines): the open goes on after the bound; the line then doubles 0xFF going out, and the
// server's doubled 0xFF arrives single.
TEST(NetLine, Rfc2217GoesOnWithoutAcknowledgementsAndEscapesTheData) {
    std::string seen;
    const Server s([&](int fd) {
        (void)receive(fd, 15);
        send_all(fd, bytes({k_iac, k_do, k_com_port, k_iac, k_do, k_binary, k_iac, k_will, k_binary,
                            'e', 'a', 'r', 'l', 'y'}));
        // Settings (38 bytes), DTR and RTS (14), then the data: 3 bytes doubled to 5.
        seen = receive(fd, 38 + 14 + 5);
        send_all(fd, bytes({0xFF, 0xFF, 0x00, 0xFF, 0xFF}));
        (void)receive(fd, 1);
    });
    const auto before = std::chrono::steady_clock::now();
    auto line = NetLine::open(s.address(NetKind::rfc2217), 57600, quick());
    ASSERT_TRUE(line.ok()) << line.error().message;
    EXPECT_GE(std::chrono::steady_clock::now() - before, 150ms);
    ASSERT_TRUE(line.value()->write(bytes({0xFF, 0x00, 0xFF})));
    std::string got;
    for (int i = 0; i < 50 && got.size() < 7; ++i) {
        line.value()->wait_readable(100ms);
        ASSERT_TRUE(line.value()->read_available(got));
    }
    EXPECT_EQ(got, "early" + bytes({0xFF, 0x00, 0xFF}));
    ASSERT_EQ(seen.size(), 57U);
    EXPECT_EQ(seen.substr(0, 10), bytes({k_iac, k_sb, k_com_port, 1, 0, 0, 0xE1, 0, k_iac, k_se}));
    EXPECT_EQ(seen.substr(52), bytes({0xFF, 0xFF, 0x00, 0xFF, 0xFF}));
}

TEST(NetLine, AConnectionClosedInTheMiddleOfAFrameEndsTheLineWithItsReason) {
    const Server s([](int fd) { send_all(fd, "\x02half a fr"); });
    auto line = NetLine::open(s.address(NetKind::raw_tcp), 57600, quick());
    ASSERT_TRUE(line.ok());
    std::string got;
    bool alive = true;
    for (int i = 0; i < 50 && alive; ++i) {
        line.value()->wait_readable(100ms);
        alive = line.value()->read_available(got);
    }
    EXPECT_FALSE(alive);
    EXPECT_EQ(got, "\x02half a fr");
    EXPECT_EQ(line.value()->failure(),
              s.address(NetKind::raw_tcp).endpoint() + " closed the connection");
}

} // namespace

// The whole open has one bound over its parts: a server that takes the connection and never
// speaks holds it no longer than that, whatever the Telnet answer's own bound.
TEST(NetLine, TheWholeOpenEndsWithinItsOwnBound) {
    NetTiming t = quick();
    t.telnet_answer = 5000ms;
    t.settings_answer = 5000ms;
    t.whole = 400ms;
    {
        const Server silent([](int fd) { (void)receive(fd, 1000); });
        const auto before = std::chrono::steady_clock::now();
        const auto line = NetLine::open(silent.address(NetKind::rfc2217), 57600, t);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
        ASSERT_FALSE(line.ok());
        EXPECT_NE(line.error().message.find(" does not speak Telnet (no RFC 2217 answer within 0."),
                  std::string::npos)
            << line.error().message;
    }
    // One that agrees and never acknowledges the settings: open, once the bound is over.
    const Server quiet([](int fd) {
        (void)receive(fd, 15);
        send_all(fd, bytes({k_iac, k_do, k_com_port}));
        (void)receive(fd, 1000);
    });
    const auto before = std::chrono::steady_clock::now();
    const auto line = NetLine::open(quiet.address(NetKind::rfc2217), 57600, t);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_TRUE(line.ok()) << line.error().message;
}
