#include "flashlib/net_transport.hpp"

#include "flashlib/protocol.hpp"

namespace trx::flash {

std::unique_ptr<NetTransport> NetTransport::open(const std::string& address, std::int32_t baud,
                                                 std::string& error, const net::NetTiming& timing) {
    const auto parsed = net::parse_net_address(address);
    if (!parsed) {
        error = "cannot open " + address + ": " + parsed.error().message;
        return nullptr;
    }
    if (baud <= 0) {
        error = "unsupported baud rate " + std::to_string(baud);
        return nullptr;
    }
    auto line = net::NetLine::open(*parsed, static_cast<std::uint32_t>(baud), timing);
    if (!line) {
        error = "cannot open " + address + ": " + line.error().message;
        return nullptr;
    }
    return std::unique_ptr<NetTransport>(new NetTransport(std::move(line.value())));
}

bool NetTransport::fail() {
    failure_ = "network port " + line_->address().endpoint() + " failed: " + line_->failure();
    log()(LogLevel::warning, [&] { return failure_; });
    return false;
}

bool NetTransport::write(std::string_view bytes) {
    return line_->write(bytes) || fail();
}

bool NetTransport::read(std::string& into, Duration timeout) {
    const auto before = into.size();
    if (!line_->read_available(into)) {
        return fail();
    }
    if (into.size() > before) {
        return true;
    }
    line_->wait_readable(std::chrono::ceil<std::chrono::milliseconds>(timeout));
    return line_->read_available(into) || fail();
}

// What came and was not read yet, from the socket and the server's buffers as far as they
// have arrived.
void NetTransport::flush_input() {
    std::string dropped;
    (void)line_->read_available(dropped);
}

bool NetTransport::accepts_rate(std::uint32_t baud) const {
    return baud == proto::k_base_rate || line_->sets_rate();
}

// A server that does not confirm is no error: the echo at the new rate tells. One that answers
// another rate does not run the one asked for: the next lower is tried.
bool NetTransport::set_rate(std::uint32_t baud) {
    if (!line_->sets_rate()) {
        return baud == proto::k_base_rate;
    }
    const std::string rate = std::to_string(baud) + " baud";
    const std::string where = line_->address().endpoint();
    switch (line_->set_baudrate(baud)) {
    case net::RateAnswer::agreed:
        log()(LogLevel::debug, [&] { return where + " at " + rate; });
        return true;
    case net::RateAnswer::unknown:
        log()(LogLevel::info,
              [&] { return "the device server at " + where + " does not confirm " + rate; });
        return true;
    case net::RateAnswer::other:
        log()(LogLevel::warning, [&] {
            return "the device server at " + where + " answers " +
                   std::to_string(line_->answered_rate()) + " baud to " + rate;
        });
        return false;
    case net::RateAnswer::failed:
        break;
    }
    return fail();
}

Transport::Duration NetTransport::now() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace trx::flash
