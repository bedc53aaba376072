#include "platform/simulator_process_host.hpp"

namespace trx::platform {

ui::SimulatorStart SimulatorProcessHost::start() {
    // Paced, the live scan and the length of an update are those of a real scanner.
    if (!process_.start({"--pace"}, {}, k_start_timeout)) {
        return {false, {}, process_.error()};
    }
    return {true, process_.device(), {}};
}

} // namespace trx::platform
