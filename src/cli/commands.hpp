#pragma once

#include "capture/writer.hpp"
#include "cli/capture_port.hpp"
#include "cli/cli_services.hpp"
#include "cli/command_line.hpp"
#include "cli/turn_lines.hpp"
#include "parafile/para_file.hpp"
#include "service/session.hpp"

#include <memory>
#include <optional>
#include <string>

// The commands, each on a session that is open (and online, when its table row says so).
namespace trx::cli {

// `--follow`: the link was lost (or went silent); waits for the same port to open again and
// the scanner to come online, trying every 2 s, and says so on `err`. False only when
// interrupted.
bool wait_for_port_back(service::Session& session, std::ostream& err, const Error& why);

struct CommandContext {
    const CommandLine& line;
    CliServices& services;
    service::Session& session;
    CapturePort* capture = nullptr; // record's port into its capture; null for the others
};

// The arguments checked before any port is touched: a bad value or file never waits for a
// scanner.
std::optional<Error> check_arguments(const CommandLine& line, const CliServices& services);

// "-" for params export's file: the parameter file goes to standard output.
inline constexpr std::string_view k_standard_output = "-";

// A file the command writes: new, a regular file or a link to one; a folder, a device or a
// pipe is refused (bad_input) before any port is touched. "-" passes where it means standard
// output.
std::optional<Error> check_output(const std::string& path, bool dash_is_stdout);

// Reads the index, writes the automatic backup of the reported set, stores `set`, reads it
// back and compares: the set the scanner now holds, or what stopped it. Nothing is sent
// before the backup is written.
Result<link::ParaReply> store_with_backup(CommandContext& c, const link::ParaReply& reported,
                                          const link::ParaSet& set);

// A parameter file read and checked against the catalogue (and the scanner's type, when
// given); the error names the file, the line and the field.
Result<parafile::ParaFile> read_para_file(const CliServices& services, const std::string& path,
                                          std::optional<link::ScannerType> expected = std::nullopt);

// The format of monitor's and replay's lines: --json, --csv or text.
TurnFormat turn_format(const CommandLine& line);

// record's file, created before the port is touched: one that cannot be written costs the
// scanner nothing.
Result<std::unique_ptr<capture::Sink>> create_capture_file(const CliServices& services,
                                                           const std::string& path);
// The port record's session talks to: the services' port, with everything that crosses it
// going into the file, under a header with the tool's version and the port's name.
std::unique_ptr<CapturePort> capture_port(const CliServices& services,
                                          std::unique_ptr<capture::Sink> file,
                                          const std::string& port_name);

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
// monitor --stats, after the set was read: the statistics over --turns N turns.
inline constexpr int k_default_stats_turns = 100;
int run_monitor_stats(CommandContext& c, const link::ParaReply& reply);
int run_flash(CommandContext& c);
// What the first Ctrl+C during flash says at once.
inline constexpr const char* k_flash_stop_notice =
    "stopping after this step; the scanner stays in its loader until the next update; Ctrl+C "
    "again to stop now";
// flash's options and file, checked before any port is touched: a read-back range outside the
// flash or an output file that cannot be written costs the scanner nothing.
std::optional<Error> check_flash_arguments(const CommandLine& line);
// Need no port.
int run_image_info(const CommandLine& line, CliServices& services);
int run_image_stamp(const CommandLine& line, CliServices& services);
int run_record(CommandContext& c);
// Needs no port: the capture's received bytes take its place.
int run_replay(const CommandLine& line, CliServices& services);
// The history commands need no port either.
int run_history(const CommandLine& line, CliServices& services);
// The set of history entry `id` (read, stored, backed up, saved or loaded then), as a file of
// its type would hold it.
Result<parafile::ParaFile> history_set(const CliServices& services, const std::string& id);

} // namespace trx::cli
