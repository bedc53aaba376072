#pragma once

// A serial device opened the plain POSIX way, raw, for tests that talk to trx81500-sim
// without the program.
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <termios.h>
#include <unistd.h>

namespace trx::sim::test {

class RawPort {
public:
    explicit RawPort(const std::string& device)
        : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ >= 0) {
            termios tio{};
            ::tcgetattr(fd_, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;
    RawPort(RawPort&&) = delete;
    RawPort& operator=(RawPort&&) = delete;
    ~RawPort() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    [[nodiscard]] bool is_open() const { return fd_ >= 0; }
    bool write(std::string_view bytes) const {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What arrives within `wait` (returns early once `enough` holds for it).
    template <typename Enough>
    std::string read_until(Enough enough, std::chrono::milliseconds wait) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!enough(got) && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[4096];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) {
                    got.append(buf, static_cast<std::size_t>(n));
                }
            }
        }
        return got;
    }

private:
    int fd_;
};

} // namespace trx::sim::test
