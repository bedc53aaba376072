#pragma once

#include "sim/launcher.hpp"
#include "ui/platform.hpp"

#include <chrono>

namespace trx::platform {

// The "Simulator" port entry on the bundled trx81500-sim, found beside the program (or where
// TRX81500_SIM points) and serving a pseudo-terminal.
class SimulatorProcessHost : public ui::SimulatorHost {
public:
    Result<std::string> start() override;
    // On the user-interface thread: a simulator that does not end on SIGTERM at once is
    // killed, so the window never waits long.
    void stop() override { process_.stop(); }
    [[nodiscard]] bool running() override { return process_.running(); }
    // The running simulator's process id; -1 when none.
    [[nodiscard]] pid_t pid() const { return process_.pid(); }

private:
    static constexpr std::chrono::milliseconds k_stop_grace{70};
    // It names its device at once; one that does not within this time is broken.
    static constexpr std::chrono::milliseconds k_start_timeout{5000};
    sim::SimulatorProcess process_{k_stop_grace};
};

} // namespace trx::platform
