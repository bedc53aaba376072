#pragma once

#include "cli/cli_services.hpp"
#include "cli/command_line.hpp"
#include "session/session.hpp"

#include <optional>

// The commands, each on a session that is open (and online, when its table row says so).
namespace trx::cli {

struct CommandContext {
    const CommandLine& line;
    CliServices& services;
    session::Session& session;
};

// The arguments checked before any port is touched: a bad value never waits for a scanner.
std::optional<session::Error> check_arguments(const CommandLine& line);

int run_ports(const CliServices& services);
int run_info(CommandContext& c);
int run_params_get(CommandContext& c);
int run_params_set(CommandContext& c);
int run_index_get(CommandContext& c);
int run_index_set(CommandContext& c);
int run_monitor(CommandContext& c);
int run_flash(CommandContext& c);

} // namespace trx::cli
