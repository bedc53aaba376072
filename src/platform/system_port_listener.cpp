#include "platform/system_port_listener.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace trx::platform {

namespace {

using Steady = std::chrono::steady_clock;

// Read-only and without becoming our controlling terminal; never written to.
int open_quietly(const std::string& device, std::string& why) {
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = errno == EBUSY ? std::string("in use by another program") : std::strerror(errno);
        return -1;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B57600);
        ::cfsetospeed(&tio, B57600);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    // Only what arrives while listening counts, not what waited in the driver since earlier.
    ::tcflush(fd, TCIFLUSH);
    return fd;
}

void close_fd(pollfd& p) {
    if (p.fd >= 0) {
        ::close(p.fd);
        p.fd = -1;
    }
}

} // namespace

std::vector<std::string> SystemPortListener::listen(const std::vector<std::string>& devices,
                                                    std::chrono::milliseconds at_most,
                                                    const Heard& heard) {
    std::vector<std::string> refused(devices.size());
    std::vector<pollfd> fds(devices.size(), pollfd{-1, POLLIN, 0});
    std::size_t open_count = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (holders_ != nullptr) {
            refused[i] = holders_->in_use(devices[i]);
            if (!refused[i].empty()) {
                continue;
            }
        }
        fds[i].fd = open_quietly(devices[i], refused[i]);
        open_count += fds[i].fd >= 0 ? 1 : 0;
    }
    const auto deadline = Steady::now() + at_most;
    while (open_count > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
        if (left.count() <= 0) {
            break;
        }
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            std::array<char, 4096> buf{};
            const ssize_t n = ::read(fds[i].fd, buf.data(), buf.size());
            const bool enough =
                n > 0 && heard(i, std::string_view(buf.data(), static_cast<std::size_t>(n)));
            // A device that hung up or failed has said all it will.
            const bool gone = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
            if (enough || gone) {
                close_fd(fds[i]);
                --open_count;
            }
        }
    }
    for (auto& p : fds) {
        close_fd(p);
    }
    return refused;
}

} // namespace trx::platform
