#pragma once
// A server of the test's own on 127.0.0.1: one connection accepted on a free port and handed
// to a script, for the network line's tests and the flash library's over it.
#include "netport/net_address.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace trx::net::testing {

// A loopback port that takes connections: the kernel completes them whether or not anybody
// accepts.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    std::uint16_t port = 0;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0);
        EXPECT_EQ(::listen(fd, 4), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    Listener(Listener&&) = delete;
    Listener& operator=(Listener&&) = delete;
    // The next connection, within 5 s; -1 without one.
    [[nodiscard]] int next() const {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1 ? ::accept(fd, nullptr, nullptr) : -1;
    }
    [[nodiscard]] std::string address(std::string_view scheme = "socket") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    }
};

class Server {
public:
    explicit Server(std::function<void(int fd)> script) {
        thread_ = std::thread([this, script = std::move(script)] {
            const int fd = listener_.next();
            if (fd < 0) {
                return;
            }
            script(fd);
            ::close(fd);
        });
    }
    ~Server() { thread_.join(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    Server(Server&&) = delete;
    Server& operator=(Server&&) = delete;
    [[nodiscard]] NetAddress address(NetKind kind) const {
        return {kind, "127.0.0.1", listener_.port};
    }

private:
    Listener listener_;
    std::thread thread_;
};

inline std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

inline void send_all(int fd, const std::string& s) {
    (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

// Reads until `n` bytes came or the peer closed, at most 3 s.
inline std::string receive(int fd, std::size_t n) {
    std::string got;
    char buf[4096];
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) != 1) {
            break;
        }
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) {
            break;
        }
        got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
}

} // namespace trx::net::testing
