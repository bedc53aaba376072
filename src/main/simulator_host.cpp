#include "main/simulator_host.hpp"

namespace trx::main {

SimulatorStart SimulatorProcessHost::start() {
    // Paced, the live scan and the length of an update are those of a real scanner.
    if (!process_.start({"--pace"}, {}, k_start_timeout)) {
        return {false, {}, process_.error()};
    }
    return {true, process_.device(), {}};
}

} // namespace trx::main
