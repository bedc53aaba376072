#include "platform/simulator_process_host.hpp"

namespace trx::platform {

Result<std::string> SimulatorProcessHost::start() {
    // Paced, the live scan and the length of an update are those of a real scanner, whose
    // service cable carries 230400 baud for the transfer.
    if (!process_.start({"--pace", "--cable-max-baud", "230400"}, {}, k_start_timeout)) {
        return Error{ErrorKind::port, process_.error()};
    }
    return process_.device();
}

} // namespace trx::platform
