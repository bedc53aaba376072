#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace trx::sim {

// Starts trx81500-sim as a child process and learns its device from the first line it
// prints. The program's "Simulator" port entry and the end-to-end tests use it. Plain
// C++ and POSIX.
class SimulatorProcess {
public:
    static constexpr std::chrono::milliseconds k_default_timeout{10000};
    static constexpr std::string_view k_executable_name = "trx81500-sim";
    static constexpr std::string_view k_path_variable = "TRX81500_SIM";

    static constexpr std::chrono::milliseconds k_stop_grace{3000};

    // stop_grace: how long stop() lets the simulator end on SIGTERM before it kills it.
    explicit SimulatorProcess(std::chrono::milliseconds stop_grace = k_stop_grace)
        : stop_grace_(stop_grace) {}
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    SimulatorProcess(SimulatorProcess&&) = delete;
    SimulatorProcess& operator=(SimulatorProcess&&) = delete;
    ~SimulatorProcess();

    // Where the simulator is: `given` when not empty; else the path in the environment
    // variable TRX81500_SIM; else beside the running program, or in ../sim/ from it (the
    // build tree). Empty when none of these is an executable file.
    static std::filesystem::path find_executable(const std::filesystem::path& given = {});
    // The simulator beside a program in `program_dir`, or in `program_dir`/../sim; empty when
    // neither is there.
    static std::filesystem::path find_beside(const std::filesystem::path& program_dir);

    // Starts it with `args` and waits up to `timeout` for its device. On Linux the child is
    // ended when the thread that started it ends, so start it from the user-interface thread.
    // False, with error() saying why, when it is not found, cannot be started, ends, or names no
    // device in time; a child that was started is stopped again then. A running simulator is
    // stopped first.
    bool start(const std::vector<std::string>& args = {},
               const std::filesystem::path& executable = {},
               std::chrono::milliseconds timeout = k_default_timeout);
    // start() in two halves, so that several simulators start side by side: launch() forks
    // and returns at once; await_device() waits for the device as start() does. Each false
    // with error() saying why.
    bool launch(const std::vector<std::string>& args = {},
                const std::filesystem::path& executable = {});
    bool await_device(std::chrono::milliseconds timeout = k_default_timeout);

    // The pseudo-terminal the simulator serves, e.g. "/dev/pts/4"; empty when not started.
    [[nodiscard]] const std::string& device() const { return device_; }
    [[nodiscard]] const std::string& error() const { return error_; }
    [[nodiscard]] pid_t pid() const { return pid_; }

    // Whether the child still runs (a child that has ended is reaped here).
    [[nodiscard]] bool running();
    // SIGTERM, then waits up to the stop grace for it to end, SIGKILL after that, and reaps
    // it; the calling thread waits little more than the grace. Safe to call when nothing runs.
    void stop();

private:
    using Clock = std::chrono::steady_clock;

    bool fail(std::string why);
    bool read_device(int fd, std::chrono::milliseconds timeout);
    // Waits until the child has ended (and reaps it) or the deadline passes; true if ended.
    bool wait_until(Clock::time_point deadline);

    std::chrono::milliseconds stop_grace_;
    pid_t pid_ = -1;
    int device_pipe_ = -1; // where a launched simulator names its device
    std::string device_;
    std::string error_;
};

} // namespace trx::sim
