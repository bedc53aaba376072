#pragma once

#include "base/result.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace trx::net {

// A scanner behind a serial device server: raw TCP carries the line's bytes as they are;
// RFC 2217 is Telnet with the COM port option, which also sets the remote line's rate.
enum class NetKind { raw_tcp, rfc2217 };

struct NetAddress {
    NetKind kind = NetKind::raw_tcp;
    std::string host; // a name, an IPv4 address, or an IPv6 address without its brackets
    std::uint16_t port = 0;

    // "HOST:PORT", IPv6 in brackets: for the reasons a technician reads.
    [[nodiscard]] std::string endpoint() const;
};

inline constexpr std::string_view k_socket_scheme = "socket://";
inline constexpr std::string_view k_rfc2217_scheme = "rfc2217://";

// Whether a port name names a network port (by its scheme alone: a bad address is still one,
// so that it is refused with its reason instead of being taken for a device path).
[[nodiscard]] bool is_network_port(std::string_view port_name);

// "socket://HOST:PORT" or "rfc2217://HOST:PORT"; a bad_input error with the reason otherwise.
[[nodiscard]] Result<NetAddress> parse_net_address(std::string_view port_name);

} // namespace trx::net
