// Listening on real terminals: pseudo-terminals stand in for the serial devices. What each
// delivers reaches the search, a device another program holds is passed over unopened, and
// nothing is ever written to any of them.
#include "platform/system_port_listener.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace trx::platform {
namespace {

using namespace std::chrono_literals;

// A pseudo-terminal whose master side the test plays: it writes what a device delivers and
// can tell whether anything was written to the device.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            device_ = ::ptsname(master_);
        }
        // A serial line echoes nothing: what the master reads is only what was written to the
        // device.
        termios tio{};
        ::tcgetattr(master_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master_, TCSANOW, &tio);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    Pty(Pty&&) = delete;
    Pty& operator=(Pty&&) = delete;
    ~Pty() {
        stop_ = true;
        if (writer_.joinable()) {
            writer_.join();
        }
        ::close(master_);
    }
    [[nodiscard]] const std::string& device() const { return device_; }

    // Writes `bytes` every 20 ms until the test ends, as a device that never stops sending.
    void keep_sending(std::string bytes) {
        writer_ = std::thread([this, bytes = std::move(bytes)] {
            while (!stop_) {
                (void)::write(master_, bytes.data(), bytes.size());
                std::this_thread::sleep_for(20ms);
            }
        });
    }
    // Whatever reached the master side: bytes written to the device.
    [[nodiscard]] std::string written_to_device() const {
        std::array<char, 256> buf{};
        const ssize_t n = ::read(master_, buf.data(), buf.size());
        return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
    }

private:
    int master_ = -1;
    std::string device_;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

const std::string k_marker = "\x02SCAN\x03";

TEST(SystemPortListener, HearsEveryDeviceSideBySideAndWritesToNone) {
    Pty talker;
    Pty chatter;
    Pty silent;
    ASSERT_FALSE(talker.device().empty());
    talker.keep_sending(k_marker);
    chatter.keep_sending("garbage ");
    std::map<std::size_t, std::string> heard;
    SystemPortListener listener;
    const std::vector<std::string> devices{talker.device(), chatter.device(), silent.device(),
                                           "/nonexistent/ttyUSB7"};
    const auto refused =
        listener.listen(devices, 400ms, [&](std::size_t i, std::string_view bytes) {
            heard[i] += bytes;
            return heard[i].find(k_marker) != std::string::npos;
        });
    ASSERT_EQ(refused.size(), 4U);
    EXPECT_EQ(refused[0], "");
    EXPECT_EQ(refused[1], "");
    EXPECT_EQ(refused[2], "");
    EXPECT_EQ(refused[3], "No such file or directory");
    EXPECT_NE(heard[0].find(k_marker), std::string::npos);
    EXPECT_NE(heard[1].find("garbage"), std::string::npos);
    EXPECT_EQ(heard.count(2), 0U);
    // The search sends nothing: not even a line end reached any device.
    EXPECT_EQ(talker.written_to_device(), "");
    EXPECT_EQ(chatter.written_to_device(), "");
    EXPECT_EQ(silent.written_to_device(), "");
}

TEST(SystemPortListener, LetsADeviceGoOnceItWasHeardEnough) {
    Pty talker;
    talker.keep_sending(k_marker);
    int calls = 0;
    SystemPortListener listener;
    const auto started = std::chrono::steady_clock::now();
    (void)listener.listen({talker.device()}, 30s, [&](std::size_t, std::string_view) {
        ++calls;
        return true;
    });
    EXPECT_EQ(calls, 1);
    // Decided at the first bytes: the listening ends long before its limit.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

TEST(SystemPortListener, PassesOverADeviceAnotherProgramHoldsWithoutOpeningIt) {
    Pty held;
    held.keep_sending(k_marker);
    std::array<int, 2> ready{};
    ASSERT_EQ(::pipe(ready.data()), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(held.device().c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? '1' : '0';
        (void)::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = '0';
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(ok, '1');
    const SystemPortDiagnosis holders;
    SystemPortListener listener(&holders);
    bool heard = false;
    const auto refused =
        listener.listen({held.device()}, 300ms, [&](std::size_t, std::string_view) {
            heard = true;
            return true;
        });
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_EQ(refused.size(), 1U);
    EXPECT_NE(refused[0].find("in use by platform_test (process " + std::to_string(pid) + ")"),
              std::string::npos)
        << refused[0];
    EXPECT_FALSE(heard);
}

} // namespace
} // namespace trx::platform
