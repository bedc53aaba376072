#pragma once

#include "base/result.hpp"

#include <ostream>
#include <string_view>

namespace trx::cli {

inline constexpr std::string_view k_program = "trx81500-cli";

// The tool's exit statuses.
enum class ExitStatus : int {
    done = 0,
    differences = 1,      // params diff found differing fields
    usage = 2,            // usage or bad input: unknown command or field, bad value or file
    port = 3,             // the port cannot be opened (or failed under us)
    no_answer = 4,        // no answer within the time-out
    not_acknowledged = 5, // the scanner did not acknowledge a store
    update_failed = 6,    // the firmware update failed
    local_file = 7,       // a file of this PC could not be written: full disk, no right
    device = 8,           // the scanner's reply made no sense
    interrupted = 130,    // SIGINT or SIGTERM outside monitor and flash
};

constexpr ExitStatus exit_status(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::usage:
    case ErrorKind::bad_input:
        return ExitStatus::usage;
    case ErrorKind::port:
        return ExitStatus::port;
    case ErrorKind::no_answer:
        return ExitStatus::no_answer;
    case ErrorKind::not_acknowledged:
        return ExitStatus::not_acknowledged;
    case ErrorKind::device:
        return ExitStatus::device;
    case ErrorKind::local_file:
        return ExitStatus::local_file;
    case ErrorKind::flash:
        return ExitStatus::update_failed;
    case ErrorKind::interrupted:
        return ExitStatus::interrupted;
    }
    return ExitStatus::usage;
}

// One line on stderr, "trx81500-cli: " and the message; the exit status of its kind.
inline int report(std::ostream& err, const Error& e) {
    err << k_program << ": " << e.message << '\n';
    return static_cast<int>(exit_status(e.kind));
}

inline Error usage_error(std::string message) {
    return {ErrorKind::usage, std::move(message)};
}

} // namespace trx::cli
