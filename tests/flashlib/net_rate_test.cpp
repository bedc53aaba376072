// The flash library's line over an RFC 2217 port follows the rate negotiation: SET-BAUDRATE
// once what was written has left, the server's answer taken as the port's yes or no, and a
// raw TCP port kept at 57600. Against a device server of the test's own on 127.0.0.1.
#include "flashlib/net_transport.hpp"
#include "netport/telnet_codec.hpp"
#include "tests/netport/loopback_server.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace trx::flash {
namespace {

using namespace std::chrono_literals;
using namespace net::telnet;
using net::testing::bytes;
using net::testing::send_all;

// The server side of RFC 2217, as far as a rate change needs it: agrees to the COM port
// option, undoubles the line's bytes and notes every SET-BAUDRATE with how many data bytes
// came before it.
class DeviceServer {
public:
    enum class Answers { same, up_to_115200, never };

    explicit DeviceServer(Answers answers) : answers_(answers) {}

    struct RateSeen {
        std::uint32_t baud;
        std::size_t data_before;
    };
    std::vector<RateSeen> rates;
    std::string data;

    // Until the client closes, or 3 s without a byte.
    void run(int fd) {
        (void)net::testing::receive(fd, 15); // the client's opening
        send_all(fd,
                 bytes({k_iac, k_do, k_com_port, k_iac, k_do, k_binary, k_iac, k_will, k_binary}));
        char buf[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 3000) != 1) {
                return;
            }
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                return;
            }
            for (ssize_t i = 0; i < n; ++i) {
                take(fd, static_cast<std::uint8_t>(buf[i]));
            }
        }
    }

private:
    enum class State { data, iac, option, sb, sb_iac };

    void take(int fd, std::uint8_t b) {
        switch (state_) {
        case State::data:
            if (b == k_iac) {
                state_ = State::iac;
            } else {
                data.push_back(static_cast<char>(b));
            }
            return;
        case State::iac:
            if (b == k_iac) {
                data.push_back(static_cast<char>(b));
                state_ = State::data;
            } else if (b == k_sb) {
                sb_.clear();
                state_ = State::sb;
            } else {
                state_ = b >= k_will ? State::option : State::data;
            }
            return;
        case State::option:
            state_ = State::data;
            return;
        case State::sb:
            if (b == k_iac) {
                state_ = State::sb_iac;
            } else {
                sb_.push_back(static_cast<char>(b));
            }
            return;
        case State::sb_iac:
            if (b == k_se) {
                state_ = State::data;
                subnegotiation(fd);
            } else {
                sb_.push_back(static_cast<char>(b));
                state_ = State::sb;
            }
            return;
        }
    }

    void subnegotiation(int fd) {
        if (sb_.size() != 6 || static_cast<std::uint8_t>(sb_[0]) != k_com_port ||
            sb_[1] != k_set_baudrate) {
            return;
        }
        std::uint32_t baud = 0;
        for (int i = 2; i < 6; ++i) {
            baud = (baud << 8U) | static_cast<std::uint8_t>(sb_[static_cast<std::size_t>(i)]);
        }
        rates.push_back({baud, data.size()});
        if (answers_ == Answers::never) {
            return;
        }
        const std::uint32_t set = answers_ == Answers::same ? baud : std::min(baud, 115200U);
        std::string answer = net::Rfc2217Codec::set_baudrate(set);
        answer[3] = static_cast<char>(k_set_baudrate + k_server_offset);
        send_all(fd, answer);
    }

    Answers answers_;
    State state_ = State::data;
    std::string sb_;
};

net::NetTiming quick() {
    net::NetTiming t;
    t.telnet_answer = 500ms;
    t.settings_answer = 100ms;
    t.rate_answer = 100ms;
    return t;
}

std::unique_ptr<NetTransport> open(const net::testing::Server& s, net::NetKind kind) {
    std::string error;
    const std::string_view scheme =
        kind == net::NetKind::rfc2217 ? net::k_rfc2217_scheme : net::k_socket_scheme;
    auto t =
        NetTransport::open(std::string(scheme) + s.address(kind).endpoint(), 57600, error, quick());
    EXPECT_NE(t, nullptr) << error;
    return t;
}

void collect(void* context, int level, const char* text) {
    static_cast<std::vector<std::string>*>(context)->push_back(std::to_string(level) + " " + text);
}

TEST(NetRate, Rfc2217SetsTheServersRateAfterWhatWasWrittenAndEndsAt57600) {
    DeviceServer device(DeviceServer::Answers::same);
    std::string frame(300, '\xAA');
    frame[7] = '\xFF'; // doubled on the way, one byte on the line
    {
        const net::testing::Server s([&](int fd) { device.run(fd); });
        auto t = open(s, net::NetKind::rfc2217);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->accepts_rate(460800));
        ASSERT_TRUE(t->write(frame));
        EXPECT_TRUE(t->set_rate(460800));
        ASSERT_TRUE(t->write("probe"));
        EXPECT_TRUE(t->set_rate(57600));
    }
    // The opening's 57600, the raise once the frame had arrived whole, the return after the
    // probe.
    ASSERT_EQ(device.rates.size(), 3U);
    EXPECT_EQ(device.rates[0].baud, 57600U);
    EXPECT_EQ(device.rates[0].data_before, 0U);
    EXPECT_EQ(device.rates[1].baud, 460800U);
    EXPECT_EQ(device.rates[1].data_before, frame.size());
    EXPECT_EQ(device.rates[2].baud, 57600U);
    EXPECT_EQ(device.rates[2].data_before, frame.size() + 5);
    EXPECT_EQ(device.data, frame + "probe");
}

// A server that runs no more than 115200 answers that to 230400: the port does not take it,
// and the switch tries the next lower. A server that never answers is taken at its word.
TEST(NetRate, TheServersAnswerDecidesWhetherTheRateIsTaken) {
    std::vector<std::string> log;
    LogSink sink;
    sink.set(&collect, &log);
    DeviceServer limited(DeviceServer::Answers::up_to_115200);
    {
        const net::testing::Server s([&](int fd) { limited.run(fd); });
        auto t = open(s, net::NetKind::rfc2217);
        ASSERT_NE(t, nullptr);
        t->attach_log(sink);
        EXPECT_FALSE(t->set_rate(230400));
        EXPECT_TRUE(t->set_rate(115200));
        EXPECT_TRUE(t->set_rate(57600));
    }
    ASSERT_EQ(limited.rates.size(), 4U);
    EXPECT_EQ(limited.rates[1].baud, 230400U);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().find("answers 115200 baud to 230400 baud"), std::string::npos)
        << log.front();

    DeviceServer silent(DeviceServer::Answers::never);
    log.clear();
    {
        const net::testing::Server s([&](int fd) { silent.run(fd); });
        auto t = open(s, net::NetKind::rfc2217);
        ASSERT_NE(t, nullptr);
        t->attach_log(sink);
        const auto before = std::chrono::steady_clock::now();
        EXPECT_TRUE(t->set_rate(230400));
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s) << "the answer wait is bounded";
        EXPECT_TRUE(t->set_rate(57600));
    }
    ASSERT_EQ(silent.rates.size(), 3U);
    EXPECT_EQ(silent.rates[1].baud, 230400U);
    EXPECT_EQ(silent.rates[2].baud, 57600U);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().find("does not confirm 230400 baud"), std::string::npos) << log.front();
}

// Raw TCP: the server's line is set on the server; nothing is sent for a rate, and no rate
// but 57600 is offered to the negotiation.
TEST(NetRate, RawTcpStaysAt57600) {
    std::string seen;
    {
        const net::testing::Server s([&](int fd) { seen = net::testing::receive(fd, 1000); });
        auto t = open(s, net::NetKind::raw_tcp);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->accepts_rate(57600));
        EXPECT_FALSE(t->accepts_rate(115200));
        EXPECT_FALSE(t->set_rate(230400));
        EXPECT_TRUE(t->set_rate(57600));
        ASSERT_TRUE(t->write("x"));
    }
    EXPECT_EQ(seen, "x");
}

} // namespace
} // namespace trx::flash
