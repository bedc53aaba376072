#pragma once

#include "sim/boot_target.hpp"

#include <atomic>
#include <string>
#include <thread>

namespace trx::flash::testing {

// Serves a BootTarget on a pseudo-terminal in real time, from its own thread: the library's
// serial port talks to it as to a scanner. Stop it before looking at the target's flash.
class PtyTarget {
public:
    explicit PtyTarget(sim::BootTarget& target);
    ~PtyTarget();
    PtyTarget(const PtyTarget&) = delete;
    PtyTarget& operator=(const PtyTarget&) = delete;
    PtyTarget(PtyTarget&&) = delete;
    PtyTarget& operator=(PtyTarget&&) = delete;

    [[nodiscard]] const std::string& device() const { return device_; }
    void stop();

private:
    void run();

    sim::BootTarget& target_;
    int master_ = -1;
    int slave_ = -1; // held open so the terminal never hangs up between the library's opens
    std::string device_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace trx::flash::testing
