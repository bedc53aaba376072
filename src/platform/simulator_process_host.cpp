#include "platform/simulator_process_host.hpp"

namespace trx::platform {

ui::SimulatorStart SimulatorProcessHost::start() {
    if (!process_.start({}, {}, k_start_timeout)) {
        return {false, {}, process_.error()};
    }
    return {true, process_.device(), {}};
}

} // namespace trx::platform
