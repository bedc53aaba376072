#include "main/simulator_host.hpp"

namespace trx::main {

SimulatorStart SimulatorProcessHost::start() {
    if (!process_.start({}, {}, k_start_timeout)) {
        return {false, {}, process_.error()};
    }
    return {true, process_.device(), {}};
}

} // namespace trx::main
