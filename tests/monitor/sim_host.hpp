#pragma once

// The "Simulator" entry of the port menu on the simulator's own launcher, for the monitor's
// runs against trx81500-sim.
#include "forms/port_menu.hpp"
#include "sim/launcher.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace trx::monitor::test {

struct SimulatorHost : ui::SimulatorHost {
    std::filesystem::path executable;
    std::vector<std::string> args;
    mutable sim::SimulatorProcess process;

    Result<std::string> start() override {
        if (!process.start(args, executable)) {
            return Error{ErrorKind::port, process.error()};
        }
        return process.device();
    }
    void stop() override { process.stop(); }
    [[nodiscard]] bool running() override { return process.running(); }
};

} // namespace trx::monitor::test
