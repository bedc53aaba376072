// A port held by another program, on the real system: a pseudo-terminal that a second process
// holds open with TIOCEXCL, found by its open file under its own name and through a link
// outside /dev; and the lock file Qt writes for a device outside /dev.
#include "platform/system_port_diagnosis.hpp"
#include "tests/platform/fake_system.hpp"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace trx::platform {
namespace {

namespace fs = std::filesystem;

// A second process with the terminal open exclusively, until the test ends it.
class Holder {
public:
    explicit Holder(const std::string& device) {
        std::array<int, 2> ready{};
        if (::pipe(ready.data()) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
            const char ok = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? '1' : '0';
            (void)::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = '0';
        held_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    Holder(Holder&&) = delete;
    Holder& operator=(Holder&&) = delete;
    ~Holder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST(PortInUse, AnExclusivelyHeldTerminalNamesTheProgramAndItsProcess) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    const Holder holder(slave);
    ASSERT_TRUE(holder.held());
    if (::geteuid() != 0) { // root may open a terminal held with TIOCEXCL all the same
        EXPECT_LT(::open(slave.c_str(), O_RDWR | O_NOCTTY), 0);
        EXPECT_EQ(errno, EBUSY);
    }
    const std::string held_by =
        " is in use by platform_test (process " + std::to_string(holder.pid()) + ").";
    const SystemPortDiagnosis diagnosis;
    const std::string direct = diagnosis.explain(slave, "Permission denied");
    EXPECT_NE(direct.find(slave + held_by), std::string::npos) << direct;
    EXPECT_EQ(direct.find("dialout"), std::string::npos) << direct;

    // The simulator's --link: a name outside /dev for the same terminal.
    const fs::path link = fs::temp_directory_path() / ("ttyTRX-" + std::to_string(::getpid()));
    fs::create_symlink(slave, link);
    const std::string linked = diagnosis.explain(link.string(), "Permission denied");
    EXPECT_NE(linked.find(link.string() + held_by), std::string::npos) << linked;
    fs::remove(link);
    ::close(master);
}

// Another user's program is seen only through its lock file: for /tmp/ttyTRX Qt writes
// LCK.._tmp_ttyTRX.
TEST(PortInUse, TheLockFileOfADeviceOutsideDevHasQtsName) {
    trx::testing::FakeSystem sys;
    sys.file("/tmp/ttyTRX", "", 0666);
    sys.process(77, "trx81500");
    sys.file("/run/lock/LCK.._tmp_ttyTRX", "        77\n");
    SystemPortDiagnosis::User user;
    user.uid = sys.owner("/tmp/ttyTRX");
    user.pid = 900;
    EXPECT_EQ(SystemPortDiagnosis(sys.root(), user).explain("/tmp/ttyTRX", "busy"),
              "/tmp/ttyTRX is in use by trx81500 (process 77, lock file "
              "/run/lock/LCK.._tmp_ttyTRX). Close that program, then open the port again.");
}

} // namespace
} // namespace trx::platform
