#pragma once

#include "cli/cli_services.hpp"
#include "cli/command_line.hpp"
#include "parafile/para_file.hpp"
#include "session/session.hpp"

#include <optional>
#include <string>

// The commands, each on a session that is open (and online, when its table row says so).
namespace trx::cli {

struct CommandContext {
    const CommandLine& line;
    CliServices& services;
    session::Session& session;
};

// The arguments checked before any port is touched: a bad value or file never waits for a
// scanner.
std::optional<session::Error> check_arguments(const CommandLine& line, const CliServices& services);

// Reads the index, writes the automatic backup of the reported set, stores `set`, reads it
// back and compares: the set the scanner now holds, or what stopped it. Nothing is sent
// before the backup is written.
session::Result<link::ParaReply>
store_with_backup(CommandContext& c, const link::ParaReply& reported, const link::ParaSet& set);

// A parameter file read and checked against the catalogue (and the scanner's type, when
// given); the error names the file, the line and the field.
session::Result<parafile::ParaFile>
read_para_file(const CliServices& services, const std::string& path,
               std::optional<link::ScannerType> expected = std::nullopt);

int run_ports(const CliServices& services);
int run_info(CommandContext& c);
int run_params_get(CommandContext& c);
int run_params_set(CommandContext& c);
int run_params_export(CommandContext& c);
int run_params_import(CommandContext& c);
int run_params_diff(CommandContext& c);
int run_index_get(CommandContext& c);
int run_index_set(CommandContext& c);
int run_monitor(CommandContext& c);
int run_flash(CommandContext& c);

} // namespace trx::cli
