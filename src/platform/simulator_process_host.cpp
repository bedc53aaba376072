#include "platform/simulator_process_host.hpp"

namespace trx::platform {

Result<std::string> SimulatorProcessHost::start() {
    // Paced, the live scan and the length of an update are those of a real scanner.
    if (!process_.start({"--pace"}, {}, k_start_timeout)) {
        return Error{ErrorKind::port, process_.error()};
    }
    return process_.device();
}

} // namespace trx::platform
