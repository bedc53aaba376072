#include "flashlib/serial_transport.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace trx::flash {

namespace {

// How long one write may wait for room in the driver's transmit buffer, in all.
constexpr std::chrono::milliseconds k_write_wait{2000};

speed_t speed_for(std::int32_t baud) {
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

std::string system_reason() {
    std::string reason = std::strerror(errno);
    if (errno == EACCES) {
        reason += " (join the dialout group to use serial ports)";
    }
    return reason;
}

bool configure(int fd, speed_t speed) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 &&
           tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

std::unique_ptr<SerialTransport> SerialTransport::open(const std::string& device, std::int32_t baud,
                                                       std::string& error) {
    const speed_t speed = speed_for(baud);
    if (speed == B0) {
        error = "unsupported baud rate " + std::to_string(baud);
        return nullptr;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + device + ": " + system_reason();
        return nullptr;
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !configure(fd, speed)) {
        error = "cannot set up " + device + ": " + system_reason();
        ::close(fd);
        return nullptr;
    }
    // Not every device has modem lines (a pseudo-terminal has none): not an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &lines);
    std::unique_ptr<SerialTransport> t(new SerialTransport(fd, device));
    t->flush_input();
    return t;
}

SerialTransport::~SerialTransport() {
    ::close(fd_);
}

bool SerialTransport::fail(const std::string& what) {
    failure_ = "serial port " + device_ + " failed: " + what;
    log()(LogLevel::warning, [&] { return failure_; });
    return false;
}

bool SerialTransport::write(std::string_view bytes) {
    const auto deadline = std::chrono::steady_clock::now() + k_write_wait;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return fail(system_reason());
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return fail("the transmit buffer does not drain");
        }
    }
    return true;
}

bool SerialTransport::read(std::string& into, Duration timeout) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(ms < 0 ? 0 : ms));
    if (r < 0) {
        return errno == EINTR || fail(system_reason());
    }
    if (r == 0) {
        return true;
    }
    if ((p.revents & POLLIN) == 0) {
        return fail((p.revents & POLLHUP) != 0 ? "the device hung up"
                                               : "the device reports an error");
    }
    char buffer[512];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR || fail(system_reason());
    }
    if (n == 0) {
        return fail("the device was removed");
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

// A trial on the idle line: set, read back, put back. A driver that cannot run the rate
// refuses it or reads back another.
bool SerialTransport::accepts_rate(std::uint32_t baud) const {
    const speed_t speed = speed_for(static_cast<std::int32_t>(baud));
    termios before{};
    if (speed == B0 || tcgetattr(fd_, &before) != 0) {
        return false;
    }
    termios trial = before;
    termios seen{};
    const bool ok = cfsetispeed(&trial, speed) == 0 && cfsetospeed(&trial, speed) == 0 &&
                    tcsetattr(fd_, TCSANOW, &trial) == 0 && tcgetattr(fd_, &seen) == 0 &&
                    cfgetospeed(&seen) == speed;
    (void)tcsetattr(fd_, TCSANOW, &before);
    return ok;
}

// TCSADRAIN: what was written leaves at the old rate first.
bool SerialTransport::set_rate(std::uint32_t baud) {
    const speed_t speed = speed_for(static_cast<std::int32_t>(baud));
    termios tio{};
    if (speed == B0 || tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    const bool ok = cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 &&
                    tcsetattr(fd_, TCSADRAIN, &tio) == 0;
    if (ok) {
        log()(LogLevel::debug, [&] { return device_ + " at " + std::to_string(baud) + " baud"; });
    }
    return ok;
}

void SerialTransport::flush_input() {
    (void)tcflush(fd_, TCIFLUSH);
}

Transport::Duration SerialTransport::now() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace trx::flash
