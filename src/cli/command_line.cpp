#include "cli/command_line.hpp"

#include "base/numtext.hpp"
#include "cli/exit_status.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>

namespace trx::cli {

namespace {

constexpr std::string_view k_global_help =
    "Options:\n"
    "  --port NAME    \"COM1\" ... \"COM10\" (the system's first ten serial devices) or a\n"
    "                 device path, or a serial device server: socket://HOST:PORT (raw TCP),\n"
    "                 rfc2217://HOST:PORT (Telnet, RFC 2217); \"auto\": the one port a\n"
    "                 scanner is heard on (nothing is sent while searching); flash takes up\n"
    "                 to 8 --port\n"
    "  --sim [N]      start the bundled simulator on a pseudo-terminal (N of them, up to 8,\n"
    "                 for flash), stop it at the end\n"
    "  --sim-arg ARG  one word for the simulator's command line (repeat for more)\n"
    "  --timeout S    seconds to wait for each answer (default 3)\n"
    "  --log[=LEVEL]  the log on stderr, each line with its UTC time and category; LEVEL\n"
    "                 is debug, info (the default) or warning\n"
    "  -v, -vv        --log=info, --log=debug\n"
    "  --help         this text; COMMAND --help describes a command\n"
    "  --version      the program's version\n";

constexpr std::string_view k_exit_help =
    "Exit status: 0 done; 1 params diff found differences; 2 usage or bad input; 3 the port\n"
    "cannot be opened; 4 no answer within the time-out; 5 the scanner did not acknowledge a\n"
    "store; 6 the firmware update failed; 7 a file or folder of this PC cannot be written\n"
    "(full disk, no right); 8 the scanner's reply makes no sense; 130 interrupted (monitor\n"
    "and record end with 0 on Ctrl+C, flash with 6). Errors go to stderr, one line each.\n"
    "Before every store (params set, params import) the scanner's set is written to\n"
    "$XDG_DATA_HOME/trx81500/backups/SERIAL/ (or ~/.local/share/trx81500/...), and its path\n"
    "to stderr; if that backup cannot be written, nothing is stored (status 7).\n";

constexpr std::string_view k_usage =
    "Usage: trx81500-cli [--port NAME | --sim [N] [--sim-arg ARG]...] [--timeout S] COMMAND "
    "[ARGS]\n";

// "--name" of "--name=value".
std::string option_name(const std::string& word) {
    return word.substr(0, word.find('='));
}

std::optional<std::chrono::milliseconds> parse_timeout(std::string text) {
    std::replace(text.begin(), text.end(), '.', ',');
    const auto n = num::parse_comma(text, 3);
    constexpr std::int64_t k_longest_ms = 3'600'000;
    if (!n || !n->exact || n->scaled < 1 || n->scaled > k_longest_ms) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(n->scaled);
}

std::optional<ui::LogLevel> parse_log_level(std::string_view text) {
    if (text == "debug") {
        return ui::LogLevel::debug;
    }
    if (text == "info") {
        return ui::LogLevel::info;
    }
    if (text == "warning") {
        return ui::LogLevel::warning;
    }
    return std::nullopt;
}

// 2025-03-01, optionally followed by T09:30, T09:30:00 or T09:30:00Z.
bool valid_since(std::string_view v) {
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (v.size() < 10 || v.size() > shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < v.size(); ++i) {
        const bool digit = v[i] >= '0' && v[i] <= '9';
        if (shape[i] == 'd' ? !digit : v[i] != shape[i]) {
            return false;
        }
    }
    return v.size() == 10 || v.size() == 16 || v.size() == 19 || v.size() == 20;
}

// The option's value against what its table row takes; image stamp's --type also takes "any"
// and is read by the command itself.
std::optional<Error> check_value(const OptionDef& option, const std::string& v) {
    const std::string_view name = option.name;
    if (name == "--max-modul") {
        const auto n = num::parse_whole(v);
        if (!n || *n > 0xFFFF) {
            return usage_error("--max-modul takes a whole number from 0 to 65535, not '" + v + "'");
        }
    }
    if (name == "--turns" || name == "--seconds") {
        const auto n = num::parse_whole(v);
        if (!n || *n < 1 || *n > 1'000'000'000) {
            return usage_error(std::string(name) + " takes a whole number from 1, not '" + v + "'");
        }
    }
    if (name == "--type" && option.value == "ZA|YA" && v != "ZA" && v != "YA") {
        return usage_error("--type takes ZA or YA, not '" + v + "'");
    }
    if (name == "--max-baud") {
        const auto n = num::parse_whole(v);
        if (!n || *n < 57600 || *n > 4'000'000) {
            return usage_error("--max-baud takes a rate from 57600 to 4000000, not '" + v + "'");
        }
    }
    if (name == "--serial" || name == "--from-history") {
        const auto n = num::parse_whole(v);
        if (!n || *n > 0xFFFF'FFFFULL) {
            return usage_error(std::string(name) + " takes a whole number, not '" + v + "'");
        }
    }
    if (name == "--since" && !valid_since(v)) {
        return usage_error("--since takes a UTC date as 2025-03-01 or 2025-03-01T09:30:00Z, not '" +
                           v + "'");
    }
    if (name == "--speed") {
        std::string t = v;
        std::replace(t.begin(), t.end(), '.', ',');
        // 0.0001 would round to 0, "as fast as possible": the very opposite of what was asked.
        const auto n = num::parse_comma(t, 3);
        if (!n || !n->exact) {
            return usage_error("--speed takes 0 (as fast as possible) or a number from 0.001, "
                               "with at most three decimals, not '" +
                               v + "'");
        }
    }
    return std::nullopt;
}

std::string subcommands_of(std::string_view group) {
    std::string list;
    for (const CommandDef& c : command_table()) {
        if (c.words.starts_with(std::string(group) + " ")) {
            list += (list.empty() ? "" : ", ") + std::string(c.words.substr(group.size() + 1));
        }
    }
    return list;
}

// What CLI11 does not know it keeps (allow_extras) instead of throwing its own message, so
// that every refusal is one of the tool's sentences. At most one command per level: a file
// named "info" after "params export" is the file, not a second command.
void keep_extras(CLI::App& app) {
    app.allow_extras();
    app.require_subcommand(0, 1);
}

// One command of the table as a CLI11 subcommand, with its options and its arguments.
struct Command {
    const CommandDef* entry = nullptr;
    CLI::App* app = nullptr;
    CLI::Option* help = nullptr;
    CLI::Option* args = nullptr;
    std::vector<CLI::Option*> options; // in the order of entry->options
};

// CLI11 splits and matches the words; the checks of their values, and the messages, stay the
// tool's.
class Matcher {
public:
    Matcher() {
        app_.set_help_flag();
        keep_extras(app_);
        port_ = app_.add_option("--port")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        // --sim alone starts one simulator; a count may follow as the next word.
        sim_ = app_.add_option("--sim")->expected(0, 1)->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
        sim_args_ =
            app_.add_option("--sim-arg")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        timeout_ =
            app_.add_option("--timeout")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        // --log alone is --log=info; a level may also follow as the next word.
        log_ = app_.add_option("--log")->expected(0, 1)->default_str("info")->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
        verbose_ = app_.add_flag("-v");
        help_ = app_.add_flag("--help");
        version_ = app_.add_flag("--version");
        commands_.reserve(command_table().size());
        for (const CommandDef& c : command_table()) {
            add(c);
        }
    }

    // args: the words after the program's name, in order. The words after "--" are the
    // command's arguments, whatever they look like.
    Result<CommandLine> parse(const std::vector<std::string>& args) {
        const auto mark = std::find(args.begin(), args.end(), "--");
        std::vector<std::string> reversed(std::make_reverse_iterator(mark), args.rend());
        try {
            app_.parse(reversed); // CLI11 takes the words last first
        } catch (const CLI::ArgumentMismatch& e) {
            // An option's value runs short only at the end: the last word needs it.
            return usage_error(mark == args.begin() ? e.what()
                                                    : option_name(*(mark - 1)) + " needs a value");
        } catch (const CLI::ParseError& e) {
            return usage_error(e.what());
        }
        CommandLine line;
        if (auto bad = global(line)) {
            return *bad;
        }
        if (line.kind != CommandLine::Kind::run) {
            return line;
        }
        if (mark != args.end()) {
            line.args.assign(mark + 1, args.end());
        }
        if (auto bad = command(line)) {
            return *bad;
        }
        return line;
    }

private:
    void add(const CommandDef& c) {
        CLI::App* parent = &app_;
        std::string name(c.words);
        if (const auto space = c.words.find(' '); space != std::string_view::npos) {
            parent = group(std::string(c.words.substr(0, space)));
            name = std::string(c.words.substr(space + 1));
        }
        Command& command = commands_.emplace_back();
        command.entry = &c;
        command.app = parent->add_subcommand(name);
        keep_extras(*command.app);
        command.help = command.app->add_flag("--help");
        for (const OptionDef& o : c.options) {
            const std::string option(o.name);
            command.options.push_back(o.value.empty()
                                          ? command.app->add_flag(option)
                                          : command.app->add_option(option)->multi_option_policy(
                                                CLI::MultiOptionPolicy::TakeAll));
        }
        // Every word that is no option, as many as come: the table's counts are checked after.
        command.args = command.app->add_option("args")->expected(0, -1)->allow_extra_args();
    }

    CLI::App* group(const std::string& name) {
        for (CLI::App* g : groups_) {
            if (g->get_name() == name) {
                return g;
            }
        }
        CLI::App* g = app_.add_subcommand(name);
        keep_extras(*g);
        groups_.push_back(g);
        return g;
    }

    // The global options before the command: first a word CLI11 did not know, then the
    // values, the options that exclude each other, help and version, and the command's word.
    std::optional<Error> global(CommandLine& line) const {
        const std::vector<std::string> extra = app_.remaining();
        if (!extra.empty() && extra.front().starts_with("-")) {
            return usage_error("unknown option '" + option_name(extra.front()) +
                               "' (see trx81500-cli --help)");
        }
        for (const std::string& t : timeout_->results()) {
            const auto timeout = parse_timeout(t);
            if (!timeout) {
                return usage_error("--timeout takes seconds from 0.001 to 3600, not '" + t + "'");
            }
            line.global.timeout = *timeout;
        }
        if (auto bad = log_level(line)) {
            return bad;
        }
        if (port_->count() > 0) {
            line.global.ports = port_->results();
            line.global.port = line.global.ports.back();
        }
        if (auto bad = sim_count(line)) {
            return bad;
        }
        line.global.sim_args = sim_args_->results();
        if (line.global.sim && !line.global.port.empty()) {
            return usage_error("--port and --sim exclude each other");
        }
        if (!line.global.sim && !line.global.sim_args.empty()) {
            return usage_error("--sim-arg needs --sim");
        }
        for (const CLI::Option* o : app_.parse_order()) { // the last of --help and --version
            if (o == help_ || o == version_) {
                line.kind = o == help_ ? CommandLine::Kind::help : CommandLine::Kind::version;
            }
        }
        if (line.kind != CommandLine::Kind::run) {
            return std::nullopt;
        }
        if (!extra.empty()) {
            return usage_error("unknown command '" + extra.front() + "' (see trx81500-cli --help)");
        }
        if (app_.get_subcommands().empty()) {
            return usage_error("no command given (see trx81500-cli --help)");
        }
        return std::nullopt;
    }

    // --sim, or --sim N for as many simulators (1 ... 8), each flashed beside the others.
    std::optional<Error> sim_count(CommandLine& line) const {
        if (sim_->count() == 0) {
            return std::nullopt;
        }
        line.global.sim = true;
        line.global.sims = 1;
        for (const std::string& text : sim_->results()) {
            if (text.empty()) {
                continue;
            }
            // A word that is no number is no count: a command this tool does not know.
            if (!std::all_of(text.begin(), text.end(), num::is_digit)) {
                return usage_error("unknown command '" + text + "' (see trx81500-cli --help)");
            }
            const auto n = num::parse_whole(text);
            if (!n || *n < 1 || *n > 8) {
                return usage_error("--sim takes a count from 1 to 8, not '" + text + "'");
            }
            line.global.sims = static_cast<int>(*n);
        }
        return std::nullopt;
    }

    // --log[=LEVEL] and -v (info) or -vv (debug): the most detailed of them.
    std::optional<Error> log_level(CommandLine& line) const {
        std::optional<ui::LogLevel> level;
        const auto more_detailed = [&level](ui::LogLevel l) {
            if (!level || l < *level) {
                level = l;
            }
        };
        for (const std::string& text : log_->results()) {
            const auto l = parse_log_level(text.empty() ? "info" : text);
            if (!l) {
                return usage_error("--log takes debug, info or warning, not '" + text + "'");
            }
            more_detailed(*l);
        }
        if (verbose_->count() > 0) {
            more_detailed(verbose_->count() > 1 ? ui::LogLevel::debug : ui::LogLevel::info);
        }
        line.global.log = level;
        return std::nullopt;
    }

    // The command chosen, its options and its arguments.
    std::optional<Error> command(CommandLine& line) const {
        const CLI::App* chosen = app_.get_subcommands().front();
        if (std::find(groups_.begin(), groups_.end(), chosen) != groups_.end()) {
            if (chosen->get_subcommands().empty() || !chosen->remaining().empty()) {
                return usage_error(chosen->get_name() +
                                   " needs one of: " + subcommands_of(chosen->get_name()));
            }
            chosen = chosen->get_subcommands().front();
        }
        const auto found = std::find_if(commands_.begin(), commands_.end(),
                                        [chosen](const Command& c) { return c.app == chosen; });
        const Command& c = *found;
        line.command = c.entry;
        if (c.help->count() > 0) {
            line.kind = CommandLine::Kind::help;
            return std::nullopt;
        }
        if (const auto extra = c.app->remaining(); !extra.empty()) {
            return usage_error(std::string(c.entry->words) + " has no option '" +
                               option_name(extra.front()) + "'");
        }
        for (std::size_t i = 0; i < c.options.size(); ++i) {
            if (auto bad = take_option(c.entry->options[i], *c.options[i], line)) {
                return bad;
            }
        }
        if (line.has("--csv") && line.has("--json")) {
            return usage_error("--csv and --json exclude each other");
        }
        if (c.entry->id == CommandId::replay && line.has("--turns") && !line.has("--stats")) {
            return usage_error("replay takes --turns only with --stats");
        }
        line.args.insert(line.args.begin(), c.args->results().begin(), c.args->results().end());
        const auto n = static_cast<int>(line.args.size());
        if (n < c.entry->min_args || (c.entry->max_args >= 0 && n > c.entry->max_args)) {
            return usage_error(
                "usage: trx81500-cli " + std::string(c.entry->words) +
                (c.entry->arguments.empty() ? "" : " " + std::string(c.entry->arguments)));
        }
        return std::nullopt;
    }

    static std::optional<Error> take_option(const OptionDef& wanted, const CLI::Option& option,
                                            CommandLine& line) {
        if (option.count() == 0) {
            return std::nullopt;
        }
        const std::string name(wanted.name);
        if (wanted.value.empty()) {
            line.options[name] = "";
            return std::nullopt;
        }
        for (const std::string& v : option.results()) {
            if (auto bad = check_value(wanted, v)) {
                return bad;
            }
        }
        line.options[name] = option.results().back();
        return std::nullopt;
    }

    CLI::App app_{"", std::string(k_program)};
    CLI::Option* port_ = nullptr;
    CLI::Option* sim_ = nullptr;
    CLI::Option* sim_args_ = nullptr;
    CLI::Option* timeout_ = nullptr;
    CLI::Option* log_ = nullptr;
    CLI::Option* verbose_ = nullptr;
    CLI::Option* help_ = nullptr;
    CLI::Option* version_ = nullptr;
    std::vector<CLI::App*> groups_;
    std::vector<Command> commands_;
};

} // namespace

std::optional<std::string> CommandLine::option(std::string_view name) const {
    const auto it = options.find(name);
    if (it == options.end()) {
        return std::nullopt;
    }
    return it->second;
}

Result<CommandLine> parse_command_line(const std::vector<std::string>& args) {
    return Matcher().parse(args);
}

std::string help_text(const CommandDef* command) {
    if (command != nullptr) {
        std::string text = "Usage: trx81500-cli [OPTIONS] " + std::string(command->words);
        if (!command->arguments.empty()) {
            text += " " + std::string(command->arguments);
        }
        text += "\n\n" + std::string(command->help);
        if (!command->available) {
            text += "(Not available in this build yet.)\n";
        }
        return text;
    }
    std::string text(k_usage);
    text += "\nThe TRX81500 laser scanner from scripts and production lines.\n\n";
    text += k_global_help;
    text += "\nCommands:\n";
    for (const CommandDef& c : command_table()) {
        std::string left = "  " + std::string(c.words);
        if (!c.arguments.empty()) {
            left += " " + std::string(c.arguments);
        }
        // A long synopsis gets its summary on the next line, in the column.
        constexpr std::size_t k_column = 34;
        if (left.size() >= k_column) {
            left += "\n";
            left += std::string(k_column, ' ');
        } else {
            left.resize(k_column, ' ');
        }
        text += left + std::string(c.summary) + "\n";
    }
    text += "\n";
    text += k_exit_help;
    return text;
}

} // namespace trx::cli
