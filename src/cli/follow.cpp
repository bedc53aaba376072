// `monitor --follow`: a lost link is a wait for the same port, not the end of the command.
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"

#include <chrono>

namespace trx::cli {

namespace {

constexpr std::chrono::seconds k_retry{2};

} // namespace

// Every try is bounded: the open by the port (a network port's connect time), the link by the
// session's time-out.
bool wait_for_port_back(service::Session& session, std::ostream& err, const Error& why) {
    const std::string port = session.port_name();
    err << k_program << ": " << why.message << "; waiting for " << port << " ..." << std::endl;
    for (;;) {
        if (session.open(port)) {
            const auto online = session.wait_online();
            if (online) {
                err << k_program << ": " << port << " is back" << std::endl;
                return true;
            }
            if (online.error().kind == ErrorKind::interrupted) {
                return false;
            }
            session.close();
        }
        if (!session.rest(k_retry)) {
            return false;
        }
    }
}

} // namespace trx::cli
