#include "flashlib/net_transport.hpp"

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

Transport::Duration NetTransport::now() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace trx::flash
