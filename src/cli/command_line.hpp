#pragma once

#include "base/result.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The tool's command line: global options, then a command of the table, its options and its
// arguments.
namespace trx::cli {

enum class CommandId {
    ports,
    info,
    params_get,
    params_set,
    params_export,
    params_import,
    params_diff,
    index_get,
    index_set,
    monitor,
    flash,
    record,
    replay,
    image_info,
    image_stamp,
    history_list,
    history_show,
    history_export,
};

// How a command reaches the scanner.
enum class Reach {
    none,   // needs no port
    port,   // the port open, nothing more (flash: the scanner may sit in its loader)
    online, // the port open and a good frame received
};

struct OptionDef {
    std::string_view name;  // "--turns"
    std::string_view value; // what it takes ("N"); empty for a flag
};

struct CommandDef {
    CommandId id;
    std::string_view words;     // "params set"
    std::string_view arguments; // "NAME=VALUE..." as the synopsis shows them
    std::string_view summary;   // one line for the tool's help
    std::string_view help;      // the command's own help, after its synopsis
    std::span<const OptionDef> options;
    int min_args = 0;
    int max_args = 0; // -1: any number
    Reach reach = Reach::online;
    // Not built into this program yet: the command says so and ends with status 2.
    bool available = true;
};

// Every command, in the order the help lists them.
std::span<const CommandDef> command_table();

struct GlobalOptions {
    std::string port;               // the last --port
    std::vector<std::string> ports; // every --port, in order (flash runs on several)
    bool sim = false;
    int sims = 0; // --sim N: N simulators (flash runs on several); --sim alone: 1
    std::vector<std::string> sim_args;
    std::chrono::milliseconds timeout{3000};
    // --log[=LEVEL], -v, -vv: the log on stderr from this level on; none: no log.
    std::optional<ui::LogLevel> log;
};

struct CommandLine {
    enum class Kind { run, help, version };
    Kind kind = Kind::run;
    GlobalOptions global;
    const CommandDef* command = nullptr;                     // none: the tool's own help
    std::map<std::string, std::string, std::less<>> options; // "--turns" -> "5", "--json" -> ""
    std::vector<std::string> args;

    [[nodiscard]] bool has(std::string_view option) const { return options.contains(option); }
    [[nodiscard]] std::optional<std::string> option(std::string_view name) const;
};

// args: the words after the program's name. A usage error says what is wrong in one line.
Result<CommandLine> parse_command_line(const std::vector<std::string>& args);

// The help of the tool (command none) or of one command.
std::string help_text(const CommandDef* command);

} // namespace trx::cli
