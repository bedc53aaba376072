#include "cli/command_line.hpp"

#include "base/numtext.hpp"
#include "cli/exit_status.hpp"

#include <algorithm>
#include <array>

namespace trx::cli {

namespace {

constexpr std::array<OptionSpec, 1> k_json{{{"--json", {}}}};
constexpr std::array<OptionSpec, 3> k_monitor_options{
    {{"--turns", "N"}, {"--csv", {}}, {"--json", {}}}};
constexpr std::array<OptionSpec, 1> k_record_options{{{"--seconds", "N"}}};
constexpr std::array<OptionSpec, 3> k_replay_options{
    {{"--speed", "X"}, {"--csv", {}}, {"--json", {}}}};

constexpr std::array<CommandSpec, 13> k_commands{{
    {CommandId::ports,
     "ports",
     "",
     "serial ports: COM1..COM10 names, USB adapters with their by-id names",
     "Lists the ten menu ports with the devices they stand for, then every USB serial\n"
     "adapter the system reports, with its name under /dev/serial/by-id.\n",
     {},
     0,
     0,
     Reach::none},
    {CommandId::info, "info", "[--json]", "type, serial number, software version, index",
     "Reads the parameter set (\"R\") and the index (\"L\") and prints the scanner's type,\n"
     "serial number, software version and index, one \"name = value\" line each, or one\n"
     "JSON object with --json.\n",
     k_json, 0, 0},
    {CommandId::params_get, "params get", "[--json]",
     "the set, one \"name = value\" line per field",
     "Reads the parameter set (\"R\" answered by \"W\") and prints its type and every field\n"
     "of the scanner's set in the window's units (speed 12.5, resolution 8192,\n"
     "can_baudrate 250, can_identifier 0x7FF, on/off), or one JSON object with --json.\n"
     "Fields out of range are named on stderr.\n",
     k_json, 0, 0},
    {CommandId::params_set,
     "params set",
     "NAME=VALUE...",
     "change fields, store, wait for \"P\", read back, compare",
     "Reads the set, changes the fields named, writes the automatic backup of the set the\n"
     "scanner reported, stores the set (\"W\"), waits for the acknowledgement \"P\", reads\n"
     "the set back and compares. Values are in the window's units; a decimal comma or point\n"
     "both do. If any value is bad, nothing is stored.\n"
     "Fields: speed, resolution, motor_enable, enable_heater and, on a \"YA\" scanner,\n"
     "can_identifier, can_baudrate, rs232_baudrate, gap_offset_abs, gap_offset_rel,\n"
     "equal_tolerance_abs, equal_tolerance_rel, gap_correction, min_modul_angle,\n"
     "max_modul_angle.\n",
     {},
     1,
     -1},
    {CommandId::params_export,
     "params export",
     "FILE",
     "the set into a parameter file (docs/parameter-files.md)",
     "Reads the set and the index and writes them into a parameter file (.trxp), whole or\n"
     "not at all: an existing file keeps its old content when the write fails. A set the\n"
     "scanner holds out of range is not written, since the file would not load.\n",
     {},
     1,
     1},
    {CommandId::params_import,
     "params import",
     "FILE",
     "store a parameter file's set; identity stays the scanner's",
     "Checks the file whole against the parameter catalogue and the scanner's type (a bad\n"
     "file is refused and nothing is stored), writes the automatic backup of the scanner's\n"
     "set, stores the file's settings (\"W\"), waits for \"P\", reads the set back and\n"
     "compares. Serial number, version and index stay the scanner's, whichever scanner the\n"
     "file came from. Prints the settings that changed, as the scanner now holds them.\n",
     {},
     1,
     1},
    {CommandId::params_diff,
     "params diff",
     "FILE",
     "scanner vs file, one line per differing field",
     "Compares the scanner's set with a parameter file of its type: one line per differing\n"
     "setting (\"speed: scanner 12.5, file 10.0\"), in the window's units. Exit status 0\n"
     "when they are equal, 1 when any differs, 2 for a bad file.\n",
     {},
     1,
     1},
    {CommandId::index_get,
     "index get",
     "",
     "the scanner's index",
     "Reads the index (\"L\") and prints it.\n",
     {},
     0,
     0},
    {CommandId::index_set,
     "index set",
     "N",
     "store the index 0 ... 65535",
     "Stores the index (\"I\"), waits for the acknowledgement \"I\", reads it back and\n"
     "compares.\n",
     {},
     1,
     1},
    {CommandId::monitor, "monitor", "[--turns N] [--csv | --json]", "one line per turn",
     "Reads the parameter set (for the scanner type), then prints one line per mirror turn\n"
     "until N turns were printed or the tool is interrupted (Ctrl+C ends it with status 0).\n"
     "--csv: a header, then t_ms, resolution, temperature, speed_ok, temperature_low,\n"
     "heater_active and the number of stripes, followed by start, end, width, gap, code,\n"
     "tag_width, tag_angle for each stripe (an absent value is an empty field).\n"
     "--json: one object per line.\n",
     k_monitor_options, 0, 0},
    {CommandId::flash,
     "flash",
     "FILE",
     "the whole update, progress on stderr",
     "Checks the hex file, then runs the firmware update: \"F\", the bootstrap string and the\n"
     "flash library's steps. The update log's lines go to stdout, a progress line to stderr.\n"
     "Ctrl+C stops it after the step under way (CloseCom still runs; status 6).\n",
     {},
     1,
     1,
     Reach::port},
    {CommandId::record, "record", "FILE [--seconds N]", "capture the wire (docs/capture-format.md)",
     "Opens the port and records into a capture file every byte received, every byte the\n"
     "tool writes and the port's events, with their times in microseconds, under a header\n"
     "with the tool's version and the port's name. It reads the parameter set once (\"R\")\n"
     "so that a replay knows the scanner's type, then listens until N seconds have passed or\n"
     "Ctrl+C stops it, the usual end: status 0 either way. The file is written as it goes;\n"
     "if it cannot be written, or fills up on the way, the status is 2 and what was recorded\n"
     "until then stays readable. The line at the end on stderr counts the records and bytes.\n",
     k_record_options, 1, 1, Reach::port},
    {CommandId::replay, "replay", "FILE [--speed X] [--csv | --json]",
     "decode a capture, same lines as monitor",
     "Decodes the bytes a capture received through the same receive assembly and decoders as\n"
     "monitor and prints the same lines (no port is opened); t_ms is the time of the record\n"
     "that completed the frame. Turns start after the capture's first parameter reply\n"
     "(\"W\"), which gives the scanner's type, as monitor reads the set first.\n"
     "--speed 1 (the default) replays at the recorded pace, 2 twice as fast, 0 as fast as\n"
     "possible. A file that is not a capture is refused (status 2); a capture that stops at\n"
     "a bad record (cut short, damaged) prints the turns before it, then the reason on\n"
     "stderr, status 2. Ctrl+C stops it with status 130.\n",
     k_replay_options, 1, 1, Reach::none},
}};

constexpr std::string_view k_global_help =
    "Options:\n"
    "  --port NAME    \"COM1\" ... \"COM10\" (the system's first ten serial devices) or a\n"
    "                 device path\n"
    "  --sim          start the bundled simulator on a pseudo-terminal, stop it at the end\n"
    "  --sim-arg ARG  one word for the simulator's command line (repeat for more)\n"
    "  --timeout S    seconds to wait for each answer (default 3)\n"
    "  --help         this text; COMMAND --help describes a command\n"
    "  --version      the program's version\n";

constexpr std::string_view k_exit_help =
    "Exit status: 0 done; 1 params diff found differences; 2 usage or bad input; 3 the port\n"
    "cannot be opened; 4 no answer within the time-out; 5 the scanner did not acknowledge a\n"
    "store; 6 the firmware update failed; 130 interrupted (monitor and record end with 0 on\n"
    "Ctrl+C, flash with 6). Errors go to stderr, one line each.\n"
    "Before every store (params set, params import) the scanner's set is written to\n"
    "$XDG_DATA_HOME/trx81500/backups/SERIAL/ (or ~/.local/share/trx81500/...), and its path\n"
    "to stderr; if that backup cannot be written, nothing is stored (status 2).\n";

constexpr std::string_view k_usage =
    "Usage: trx81500-cli [--port NAME | --sim [--sim-arg ARG]...] [--timeout S] COMMAND [ARGS]\n";

// "--name=value" or "--name" followed by its value.
struct Split {
    std::string name;
    std::optional<std::string> inline_value;
};
Split split_option(const std::string& word) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) {
        return {word, std::nullopt};
    }
    return {word.substr(0, eq), word.substr(eq + 1)};
}

class Words {
public:
    explicit Words(const std::vector<std::string>& w) : words_(w) {}
    [[nodiscard]] bool done() const { return i_ >= words_.size(); }
    [[nodiscard]] const std::string& peek() const { return words_[i_]; }
    const std::string& take() { return words_[i_++]; }
    // The value of an option: inline, or the next word whatever it looks like.
    std::optional<std::string> value(const Split& s) {
        if (s.inline_value) {
            return s.inline_value;
        }
        if (done()) {
            return std::nullopt;
        }
        return take();
    }

private:
    const std::vector<std::string>& words_;
    std::size_t i_ = 0;
};

std::optional<std::chrono::milliseconds> parse_timeout(std::string text) {
    std::replace(text.begin(), text.end(), '.', ',');
    const auto n = num::parse_comma(text, 3);
    constexpr std::int64_t k_longest_ms = 3'600'000;
    if (!n || n->scaled < 1 || n->scaled > k_longest_ms) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(n->scaled);
}

// The global options before the command; false at the first word that is not one.
std::optional<Error> parse_global(Words& w, CommandLine& line) {
    while (!w.done() && w.peek().starts_with("--")) {
        const Split s = split_option(w.take());
        if (s.name == "--help") {
            line.kind = CommandLine::Kind::help;
        } else if (s.name == "--version") {
            line.kind = CommandLine::Kind::version;
        } else if (s.name == "--sim") {
            line.global.sim = true;
        } else if (s.name == "--port" || s.name == "--sim-arg" || s.name == "--timeout") {
            const auto v = w.value(s);
            if (!v) {
                return usage_error(s.name + " needs a value");
            }
            if (s.name == "--port") {
                line.global.port = *v;
            } else if (s.name == "--sim-arg") {
                line.global.sim_args.push_back(*v);
            } else if (const auto t = parse_timeout(*v)) {
                line.global.timeout = *t;
            } else {
                return usage_error("--timeout takes seconds from 0.001 to 3600, not '" + *v + "'");
            }
        } else {
            return usage_error("unknown option '" + s.name + "' (see trx81500-cli --help)");
        }
    }
    if (line.global.sim && !line.global.port.empty()) {
        return usage_error("--port and --sim exclude each other");
    }
    if (!line.global.sim && !line.global.sim_args.empty()) {
        return usage_error("--sim-arg needs --sim");
    }
    return std::nullopt;
}

// The longest command of the table whose words start the rest of the line.
const CommandSpec* find_command(Words& w, std::string& group) {
    const std::string first = w.take();
    const std::string pair = w.done() ? std::string() : first + " " + w.peek();
    for (const CommandSpec& c : k_commands) {
        if (c.words == first || (!pair.empty() && c.words == pair)) {
            if (c.words != first) {
                w.take();
            }
            return &c;
        }
    }
    group = first;
    return nullptr;
}

std::string subcommands_of(std::string_view group) {
    std::string list;
    for (const CommandSpec& c : k_commands) {
        if (c.words.starts_with(std::string(group) + " ")) {
            list += (list.empty() ? "" : ", ") + std::string(c.words.substr(group.size() + 1));
        }
    }
    return list;
}

std::optional<Error> check_value(std::string_view name, const std::string& v) {
    if (name == "--turns" || name == "--seconds") {
        const auto n = num::parse_whole(v);
        if (!n || *n < 1 || *n > 1'000'000'000) {
            return usage_error(std::string(name) + " takes a whole number from 1, not '" + v + "'");
        }
    }
    if (name == "--speed") {
        std::string t = v;
        std::replace(t.begin(), t.end(), '.', ',');
        if (!num::parse_comma(t, 3)) {
            return usage_error("--speed takes a number from 0 (as fast as possible), not '" + v +
                               "'");
        }
    }
    return std::nullopt;
}

std::optional<Error> parse_command_words(Words& w, CommandLine& line) {
    const CommandSpec& c = *line.command;
    while (!w.done()) {
        const std::string& word = w.take();
        if (!word.starts_with("--") || word == "--") {
            line.args.push_back(word);
            continue;
        }
        const Split s = split_option(word);
        if (s.name == "--help") {
            line.kind = CommandLine::Kind::help;
            return std::nullopt;
        }
        const auto option = std::find_if(c.options.begin(), c.options.end(),
                                         [&](const OptionSpec& o) { return o.name == s.name; });
        if (option == c.options.end()) {
            return usage_error(std::string(c.words) + " has no option '" + s.name + "'");
        }
        std::string value;
        if (!option->value.empty()) {
            const auto v = w.value(s);
            if (!v) {
                return usage_error(s.name + " needs a value");
            }
            if (auto bad = check_value(s.name, *v)) {
                return bad;
            }
            value = *v;
        }
        line.options[s.name] = value;
    }
    if (line.has("--csv") && line.has("--json")) {
        return usage_error("--csv and --json exclude each other");
    }
    const auto n = static_cast<int>(line.args.size());
    if (n < c.min_args || (c.max_args >= 0 && n > c.max_args)) {
        return usage_error("usage: trx81500-cli " + std::string(c.words) +
                           (c.arguments.empty() ? "" : " " + std::string(c.arguments)));
    }
    return std::nullopt;
}

} // namespace

std::span<const CommandSpec> command_table() {
    return k_commands;
}

std::optional<std::string> CommandLine::option(std::string_view name) const {
    const auto it = options.find(name);
    if (it == options.end()) {
        return std::nullopt;
    }
    return it->second;
}

Result<CommandLine> parse_command_line(const std::vector<std::string>& args) {
    Words w(args);
    CommandLine line;
    if (auto bad = parse_global(w, line)) {
        return *bad;
    }
    if (line.kind != CommandLine::Kind::run) {
        return line;
    }
    if (w.done()) {
        return usage_error("no command given (see trx81500-cli --help)");
    }
    std::string group;
    line.command = find_command(w, group);
    if (line.command == nullptr) {
        const std::string subs = subcommands_of(group);
        if (!subs.empty()) {
            return usage_error(group + " needs one of: " + subs);
        }
        return usage_error("unknown command '" + group + "' (see trx81500-cli --help)");
    }
    if (auto bad = parse_command_words(w, line)) {
        return *bad;
    }
    return line;
}

std::string help_text(const CommandSpec* command) {
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
    for (const CommandSpec& c : k_commands) {
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
