#pragma once

#include "flashlib/transport.hpp"
#include "netport/net_line.hpp"

#include <cstdint>
#include <memory>

namespace trx::flash {

// The line to the target through a serial device server: raw TCP or RFC 2217, named as the
// port menu names it ("socket://HOST:PORT", "rfc2217://HOST:PORT").
class NetTransport : public Transport {
public:
    // nullptr with the reason in `error` when the address is bad or the server cannot be
    // reached.
    static std::unique_ptr<NetTransport> open(const std::string& address, std::int32_t baud,
                                              std::string& error,
                                              const net::NetTiming& timing = {});

    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] bool read(std::string& into, Duration timeout) override;
    void flush_input() override;
    [[nodiscard]] Duration now() const override;
    [[nodiscard]] std::string failure() const override { return failure_; }

    // RFC 2217 sets the remote line to any rate the target offers and the server answers;
    // a raw TCP port stays at 57600, the rate the server's line is set to.
    [[nodiscard]] bool accepts_rate(std::uint32_t baud) const override;
    [[nodiscard]] bool set_rate(std::uint32_t baud) override;

private:
    explicit NetTransport(std::unique_ptr<net::NetLine> line) : line_(std::move(line)) {}
    bool fail();

    std::unique_ptr<net::NetLine> line_;
    std::string failure_;
};

} // namespace trx::flash
