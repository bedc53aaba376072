#include "sim/pty_server.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace trx::sim {

using std::chrono::nanoseconds;

namespace {

constexpr int k_idle_check_ms = 20; // how often a device no one holds is looked at again
constexpr int k_max_wait_ms = 50;

// The rate the program set on its side of the pseudo-terminal (the master reads the
// slave's settings); 0 when unknown.
std::uint32_t pty_rate(int master) {
    termios tio{};
    if (::tcgetattr(master, &tio) != 0) {
        return 0;
    }
    switch (::cfgetospeed(&tio)) {
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B921600:
        return 921600;
    default:
        return 0;
    }
}

std::string system_error(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

nanoseconds steady_now() {
    return std::chrono::duration_cast<nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

// --- PseudoTerminal -----------------------------------------------------------------------

std::optional<PseudoTerminal> PseudoTerminal::open(std::string& error) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = system_error("openpty");
        return std::nullopt;
    }
    // Raw 8-bit line: no echo, no line editing, no CR/LF translation, 57600 baud.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    ::tcsetattr(slave, TCSANOW, &tio);
    const char* name = ::ttyname(slave);
    std::string device = name != nullptr ? name : "";
    // The slave is the program's to open; the master sees a hang-up while no one holds it.
    ::close(slave);
    if (device.empty()) {
        ::close(master);
        error = "the pseudo-terminal has no device name";
        return std::nullopt;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    return PseudoTerminal(master, std::move(device));
}

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(other.master_), device_(std::move(other.device_)) {
    other.master_ = -1;
}

PseudoTerminal::~PseudoTerminal() {
    if (master_ >= 0) {
        ::close(master_);
    }
}

// --- DeviceLink ---------------------------------------------------------------------------

std::optional<DeviceLink> DeviceLink::create(const std::filesystem::path& link,
                                             const std::string& device, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(link, ec);
    if (std::filesystem::is_symlink(status)) {
        std::filesystem::remove(link, ec);
    } else if (std::filesystem::exists(status)) {
        error = link.string() + " exists and is not a symbolic link; not replaced";
        return std::nullopt;
    }
    std::filesystem::create_symlink(device, link, ec);
    if (ec) {
        error = "cannot create the link " + link.string() + ": " + ec.message();
        return std::nullopt;
    }
    return DeviceLink(link, device);
}

DeviceLink::DeviceLink(DeviceLink&& other) noexcept
    : link_(std::move(other.link_)), device_(std::move(other.device_)) {
    other.link_.clear();
}

DeviceLink::~DeviceLink() {
    if (link_.empty()) {
        return;
    }
    // Another simulator may have taken the name over since; its link stays.
    std::error_code ec;
    if (std::filesystem::read_symlink(link_, ec) == device_ && !ec) {
        std::filesystem::remove(link_, ec);
    }
}

// --- StopSignals --------------------------------------------------------------------------

std::optional<StopSignals> StopSignals::install(std::string& error) {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        error = system_error("sigprocmask");
        return std::nullopt;
    }
    const int fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        error = system_error("signalfd");
        return std::nullopt;
    }
    return StopSignals(fd);
}

StopSignals::StopSignals(StopSignals&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// --- PtyServer ----------------------------------------------------------------------------

bool PtyServer::someone_listens() const {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & POLLHUP) == 0;
}

void PtyServer::write_pending() {
    while (!pending_.empty()) {
        const ssize_t n = ::write(master_, pending_.data(), pending_.size());
        if (n > 0) {
            pending_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            pending_.clear(); // the device went away under us
        }
        return;
    }
}

void PtyServer::read_input() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            scanner_.feed(std::string_view(buf, static_cast<std::size_t>(n)), steady_now());
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return;
    }
}

int PtyServer::wait_ms(bool listening) const {
    const nanoseconds now = steady_now();
    const nanoseconds due = scanner_.next_event(now) - now;
    // Round up: waking a little late is harmless, waking early only spins.
    auto ms = static_cast<int>(std::min<std::int64_t>((due.count() + 999'999) / 1'000'000,
                                                      listening ? k_max_wait_ms : k_idle_check_ms));
    if (!pending_.empty() && !listening) {
        ms = std::min(ms, k_idle_check_ms);
    }
    return ms;
}

void PtyServer::run() {
    for (;;) {
        const bool listening = someone_listens();
        if (listening != listening_) {
            // What a former reader left unread is not delivered to the next one; what the new one
            // has already sent stays.
            ::tcflush(master_, TCOFLUSH);
            pending_.clear();
            listening_ = listening;
        }
        std::string out = scanner_.poll(steady_now());
        if (listening_ && pending_.size() + out.size() <= k_max_pending) {
            pending_ += out;
        }
        write_pending();

        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {master_, 0, 0}};
        if (listening_) {
            fds[1].events = static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT));
        }
        const int n = ::poll(fds, listening_ ? 2 : 1, wait_ms(listening_));
        if (n < 0 && errno != EINTR) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return; // SIGINT or SIGTERM
        }
        if (listening_ && (fds[1].revents & POLLIN) != 0) {
            scanner_.set_host_rate(pty_rate(master_), steady_now());
            read_input();
        }
    }
}

} // namespace trx::sim
