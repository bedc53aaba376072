#include "netport/net_address.hpp"

#include <algorithm>
#include <cctype>

namespace trx::net {

namespace {

// The longest host name DNS can carry, and its longest label.
constexpr std::size_t k_max_host = 253;
constexpr std::size_t k_max_label = 63;
constexpr std::size_t k_shown = 40; // of a bad name, in a reason

Error bad(const std::string& what) {
    return Error{ErrorKind::bad_input, what};
}

std::string shown(std::string_view s) {
    return s.size() <= k_shown ? std::string(s) : std::string(s.substr(0, k_shown)) + "...";
}

bool host_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '-' || c == '.' || c == '_';
}

// Empty when the name can be looked up; the reason otherwise.
std::string check_host_name(std::string_view host) {
    if (host.size() > k_max_host) {
        return "the host name is " + std::to_string(host.size()) + " characters long (at most " +
               std::to_string(k_max_host) + ")";
    }
    if (!std::all_of(host.begin(), host.end(), host_char)) {
        return "the host name " + shown(host) + " holds characters a host name cannot have";
    }
    std::size_t from = 0;
    while (from <= host.size()) {
        const auto dot = std::min(host.find('.', from), host.size());
        const auto label = dot - from;
        if (label == 0 && dot != host.size()) {
            return "the host name " + shown(host) + " has an empty part between dots";
        }
        if (label > k_max_label) {
            return "a part of the host name " + shown(host) + " is longer than 63 characters";
        }
        from = dot + 1;
    }
    return {};
}

bool ipv6_char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.' || c == '%' ||
           std::isalnum(static_cast<unsigned char>(c)) != 0;
}

Result<std::uint16_t> parse_port(std::string_view text, std::string_view whole) {
    if (text.empty()) {
        return bad("the address " + shown(whole) + " names no port (HOST:PORT)");
    }
    if (text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return bad("the port " + shown(text) + " is not a number from 1 to 65535");
    }
    const int n = std::stoi(std::string(text));
    if (n < 1 || n > 65535) {
        return bad("the port " + std::string(text) + " is not a number from 1 to 65535");
    }
    return static_cast<std::uint16_t>(n);
}

} // namespace

std::string NetAddress::endpoint() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool is_network_port(std::string_view port_name) {
    return port_name.starts_with(k_socket_scheme) || port_name.starts_with(k_rfc2217_scheme);
}

Result<NetAddress> parse_net_address(std::string_view port_name) {
    NetAddress a;
    std::string_view rest;
    if (port_name.starts_with(k_socket_scheme)) {
        rest = port_name.substr(k_socket_scheme.size());
    } else if (port_name.starts_with(k_rfc2217_scheme)) {
        a.kind = NetKind::rfc2217;
        rest = port_name.substr(k_rfc2217_scheme.size());
    } else {
        return bad(shown(port_name) + " is no network address (socket://HOST:PORT or "
                                      "rfc2217://HOST:PORT)");
    }
    if (rest.empty()) {
        return bad("the address " + shown(port_name) + " names no host (HOST:PORT)");
    }
    std::string_view port_text;
    if (rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return bad("the IPv6 address in " + shown(port_name) + " has no closing bracket");
        }
        a.host = std::string(rest.substr(1, close - 1));
        if (a.host.empty() || a.host.size() > 64 ||
            !std::all_of(a.host.begin(), a.host.end(), ipv6_char)) {
            return bad("[" + shown(a.host) + "] is no IPv6 address");
        }
        const auto after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return bad("the address " + shown(port_name) + " has text after the bracket");
        }
        port_text = after.empty() ? after : after.substr(1);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return bad("the address " + shown(port_name) + " names no port (HOST:PORT)");
        }
        if (rest.substr(0, colon).find(':') != std::string_view::npos) {
            return bad("an IPv6 address goes in brackets: " +
                       std::string(port_name.substr(0, port_name.find("//") + 2)) +
                       "[ADDRESS]:PORT");
        }
        a.host = std::string(rest.substr(0, colon));
        port_text = rest.substr(colon + 1);
        if (a.host.empty()) {
            return bad("the address " + shown(port_name) + " names no host (HOST:PORT)");
        }
        if (const std::string why = check_host_name(a.host); !why.empty()) {
            return bad(why);
        }
    }
    const auto port = parse_port(port_text, port_name);
    if (!port) {
        return port.error();
    }
    a.port = *port;
    return a;
}

} // namespace trx::net
