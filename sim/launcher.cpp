#include "sim/launcher.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace trx::sim {

namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds k_kill_wait{20};

bool is_executable(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

fs::path running_program() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path{} : p;
}

// The child's side of fork(): only async-signal-safe calls until exec.
[[noreturn]] void exec_child(pid_t parent, int out_fd, const char* path, char* const* argv) {
#ifdef __linux__
    // The simulator ends with whoever started it, even when that one crashes. A parent that
    // ended before the wish was made sends no signal any more: end at once then.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        ::_exit(127);
    }
#else
    (void)parent;
#endif
    ::dup2(out_fd, STDOUT_FILENO);
    ::execv(path, argv);
    ::_exit(127);
}

} // namespace

SimulatorProcess::~SimulatorProcess() {
    stop();
}

fs::path SimulatorProcess::find_executable(const fs::path& given) {
    if (!given.empty()) {
        return is_executable(given) ? given : fs::path{};
    }
    if (const char* env = std::getenv(std::string(k_path_variable).c_str());
        env != nullptr && *env != '\0') {
        return is_executable(env) ? fs::path(env) : fs::path{};
    }
    return find_beside(running_program().parent_path());
}

fs::path SimulatorProcess::find_beside(const fs::path& program_dir) {
    if (program_dir.empty()) {
        return {};
    }
    for (const auto& candidate :
         {program_dir / k_executable_name, program_dir / ".." / "sim" / k_executable_name}) {
        if (is_executable(candidate)) {
            return candidate.lexically_normal();
        }
    }
    return {};
}

bool SimulatorProcess::fail(std::string why) {
    error_ = std::move(why);
    stop();
    return false;
}

bool SimulatorProcess::start(const std::vector<std::string>& args, const fs::path& executable,
                             std::chrono::milliseconds timeout) {
    return launch(args, executable) && await_device(timeout);
}

bool SimulatorProcess::launch(const std::vector<std::string>& args, const fs::path& executable) {
    stop();
    error_.clear();
    const fs::path path = find_executable(executable);
    if (path.empty()) {
        return fail(executable.empty()
                        ? "trx81500-sim not found (beside the program, or set TRX81500_SIM)"
                        : executable.string() + " is not an executable file");
    }
    // Everything exec needs is prepared before fork.
    const std::string path_text = path.string();
    std::vector<std::string> arg_texts{path_text};
    arg_texts.insert(arg_texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : arg_texts) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return fail(std::string("pipe: ") + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        exec_child(parent, fds[1], path_text.c_str(), argv.data());
    }
    ::close(fds[1]);
    if (pid_ < 0) {
        ::close(fds[0]);
        return fail(std::string("fork: ") + std::strerror(errno));
    }
    device_pipe_ = fds[0];
    return true;
}

bool SimulatorProcess::await_device(std::chrono::milliseconds timeout) {
    if (device_pipe_ < 0) {
        return fail(error_.empty() ? "the simulator was not started" : error_);
    }
    const bool ok = read_device(device_pipe_, timeout);
    // Nothing more is read: the simulator prints its device only.
    ::close(device_pipe_);
    device_pipe_ = -1;
    return ok || fail(error_);
}

bool SimulatorProcess::read_device(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string line;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error_ = "trx81500-sim named no device within " + num::dec(timeout.count()) + " ms";
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno != EINTR) {
            error_ = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        if (n <= 0) {
            continue;
        }
        char buf[256];
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got <= 0) {
            error_ = "trx81500-sim ended before it named its device (see its messages)";
            return false;
        }
        line.append(buf, static_cast<std::size_t>(got));
        if (const auto nl = line.find('\n'); nl != std::string::npos) {
            device_ = line.substr(0, nl);
            if (device_.empty() || device_.front() != '/') {
                error_ = "trx81500-sim printed \"" + device_ + "\" instead of a device";
                device_.clear();
                return false;
            }
            return true;
        }
    }
}

bool SimulatorProcess::running() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) {
        return true;
    }
    pid_ = -1; // ended (and now reaped), or not our child any more
    return false;
}

void SimulatorProcess::stop() {
    const std::chrono::milliseconds grace = stop_grace_;
    device_.clear();
    if (device_pipe_ >= 0) {
        ::close(device_pipe_);
        device_pipe_ = -1;
    }
    if (!running()) {
        return;
    }
    const auto deadline = Clock::now() + grace;
    ::kill(pid_, SIGTERM);
    if (wait_until(deadline)) {
        return;
    }
    // SIGKILL ends it at once; a child the kernel has not let go of within a moment more is
    // reaped later, by running(), start() or stop().
    ::kill(pid_, SIGKILL);
    (void)wait_until(Clock::now() + std::min(grace, k_kill_wait));
}

// Sleeps on the child's end (a pidfd where the kernel has them) rather than polling.
bool SimulatorProcess::wait_until(Clock::time_point deadline) {
#ifdef SYS_pidfd_open
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
#else
    const int pidfd = -1;
#endif
    while (running()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            (void)::poll(&p, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(2)));
        }
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    return !running();
}

} // namespace trx::sim
