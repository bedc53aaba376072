#include "pty_target.hpp"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace trx::flash::testing {

PtyTarget::PtyTarget(sim::BootTarget& target) : target_(target) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    device_ = ptsname(master_);
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    target_.enter(std::chrono::steady_clock::now().time_since_epoch());
    thread_ = std::thread([this] { run(); });
}

PtyTarget::~PtyTarget() {
    stop();
    ::close(slave_);
    ::close(master_);
}

void PtyTarget::stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PtyTarget::run() {
    std::string out;
    char buffer[512];
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 2);
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        out.clear();
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                target_.receive(std::string_view(buffer, static_cast<std::size_t>(n)), now, out);
            }
        }
        target_.poll(now, out);
        if (!out.empty()) {
            // What the line cannot take is lost, as on a real line.
            [[maybe_unused]] const ssize_t sent = ::write(master_, out.data(), out.size());
        }
    }
}

} // namespace trx::flash::testing
