#pragma once

#include "sim/launcher.hpp"
#include "ui/platform.hpp"

#include <chrono>

namespace trx::platform {

// The "Simulator" port entry on the bundled trx81500-sim, found beside the program (or where
// TRX81500_SIM points) and serving a pseudo-terminal.
class SimulatorProcessHost : public ui::SimulatorHost {
public:
    ui::SimulatorStart start() override;
    void stop() override { process_.stop(); }
    [[nodiscard]] bool running() override { return process_.running(); }

private:
    // It names its device at once; one that does not within this time is broken.
    static constexpr std::chrono::milliseconds k_start_timeout{5000};
    sim::SimulatorProcess process_;
};

} // namespace trx::platform
