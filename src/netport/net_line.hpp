#pragma once

#include "base/result.hpp"
#include "netport/net_address.hpp"
#include "netport/telnet_codec.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace trx::net {

// Every wait of a network port, bounded.
struct NetTiming {
    std::chrono::milliseconds resolve{5000};
    std::chrono::milliseconds connect{5000};
    // For the server's answer to the COM port option.
    std::chrono::milliseconds telnet_answer{3000};
    // For its acknowledgement of the line settings: a server that never gives one is no
    // error, the line goes on without it.
    std::chrono::milliseconds settings_answer{1000};
    // For room in the socket's send buffer, and for a drain before a rate change.
    std::chrono::milliseconds write{2000};
    // For the answer to a rate change in the middle of a flash run: the target waits for the
    // first frame at the new rate only 300 ms, so a server that does not confirm is not
    // waited for longer.
    std::chrono::milliseconds rate_answer{150};
    // The whole open, from the lookup to the last answer; 0 leaves only the bounds above.
    std::chrono::milliseconds whole{0};

    // A reopen after a lost link: tried every 2 s, each attempt over within about 3 s even
    // against a server that takes the connection and never speaks.
    [[nodiscard]] static NetTiming reconnect();
};

// What a device server made of a rate change.
enum class RateAnswer {
    agreed,  // answered the rate asked for
    other,   // answered another rate: it does not run the one asked for
    unknown, // no answer within its bound (not every server confirms)
    failed,  // the connection failed
};

// A connected network port: the socket (non-blocking), and for RFC 2217 the Telnet codec in
// front of it. Only ever a client: nothing here listens.
class NetLine {
public:
    using Clock = std::chrono::steady_clock;

    // Connects and, for RFC 2217, sets the remote line to `baud` 8N1 without flow control.
    // A port error with a one-line reason when it cannot.
    static Result<std::unique_ptr<NetLine>> open(const NetAddress& address, std::uint32_t baud,
                                                 const NetTiming& timing = {});
    ~NetLine();
    NetLine(const NetLine&) = delete;
    NetLine& operator=(const NetLine&) = delete;
    NetLine(NetLine&&) = delete;
    NetLine& operator=(NetLine&&) = delete;

    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] const NetAddress& address() const { return address_; }

    // Sends the line's bytes, all of them; false when the connection failed or its send
    // buffer stayed full for the write time.
    [[nodiscard]] bool write(std::string_view data);
    // Appends what has arrived, without waiting; false when the connection has ended.
    [[nodiscard]] bool read_available(std::string& into);
    // Waits until bytes arrive or the connection ends, at most `timeout`.
    void wait_readable(std::chrono::milliseconds timeout) const;
    // Bytes written and not yet sent on the network.
    [[nodiscard]] std::size_t unsent() const;
    // Whether the remote line's rate is ours to set (RFC 2217); on a raw TCP port it is the
    // server's business.
    [[nodiscard]] bool sets_rate() const { return codec_.has_value(); }
    // RFC 2217: once what was written has left, asks the server for another line rate and
    // waits for its answer, at most the rate answer time. A raw TCP port has none to set:
    // `unknown`. The rate the server answered is in `answered_rate()`.
    [[nodiscard]] RateAnswer set_baudrate(std::uint32_t baud);
    [[nodiscard]] std::uint32_t answered_rate() const { return answered_rate_; }
    // Why the last write or read returned false.
    [[nodiscard]] const std::string& failure() const { return failure_; }

private:
    NetLine(int fd, NetAddress address, const NetTiming& timing);
    [[nodiscard]] Result<Done> negotiate(std::uint32_t baud, Clock::time_point until);
    // Waits until `done` holds or `timeout` passes, answering the server meanwhile; false when
    // the connection ended.
    template <class Done> bool pump(std::chrono::milliseconds timeout, Done done);
    [[nodiscard]] bool send_raw(std::string_view bytes);
    [[nodiscard]] bool receive(std::string& into);
    bool fail(std::string why);
    [[nodiscard]] std::string other_data() const;

    int fd_;
    NetAddress address_;
    NetTiming timing_;
    std::optional<Rfc2217Codec> codec_;
    std::string early_; // the line's bytes that came while the options were negotiated
    std::string failure_;
    std::uint32_t answered_rate_ = 0;
};

} // namespace trx::net
