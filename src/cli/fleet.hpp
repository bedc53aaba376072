#pragma once

#include "cli/cli_services.hpp"
#include "cli/command_line.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// flash on several ports side by side: one child trx81500-cli per port, each with its own
// port, library and process, so that one port's failure or stall never stops or slows the
// others. The parent reads their JSON lines and shows them.
namespace trx::cli {

inline constexpr std::size_t k_max_fleet = 8;

// Several ports (or simulators) given: whether flash runs side by side.
bool is_fleet(const CommandLine& line);

// The command line's ports and simulators checked for a run side by side, before anything
// is started.
std::optional<Error> check_fleet(const CommandLine& line);

// What one port's run has shown so far, from its JSON lines and its stderr.
struct FleetPortState {
    std::string port;
    std::string phase;
    std::int64_t done = 0;
    std::int64_t total = 0;
    std::optional<double> seconds_left;
    std::int64_t baud = 0;
    bool has_result = false;
    bool ok = false;
    std::string serial;  // "-" when not known
    std::string skipped; // "-" when not known
    double seconds = 0;
    std::string reason;     // from the result, else the child's last error line
    std::string last_error; // the child's last error line on stderr
    int status = -1;        // the child's exit status; -1 while it runs
    // A line of the child's stdout; false when it is no JSON object.
    bool take_json_line(std::string_view line);
    // A line of the child's stderr.
    void take_error_line(std::string_view line);
    // The port's progress line on a terminal.
    [[nodiscard]] std::string progress_line() const;
};

// The table after the run, one row per port, columns aligned.
std::string summary_table(const std::vector<FleetPortState>& ports);

// The child's command line: flash with --json on one port, the options that pass through.
std::vector<std::string> child_arguments(const CommandLine& line, const std::string& port);

int run_flash_fleet(const CommandLine& line, CliServices& services);

} // namespace trx::cli
