#include "cli/command_line.hpp"

#include <array>

// The commands of trx81500-cli, their options and their help, in the order the help lists them.
namespace trx::cli {

namespace {

constexpr std::array<OptionDef, 1> k_json{{{"--json", {}}}};
constexpr std::array<OptionDef, 5> k_monitor_options{
    {{"--turns", "N"}, {"--csv", {}}, {"--json", {}}, {"--stats", {}}, {"--follow", {}}}};
constexpr std::array<OptionDef, 2> k_record_options{{{"--seconds", "N"}, {"--follow", {}}}};
constexpr std::array<OptionDef, 7> k_flash_options{{{"--max-baud", "N"},
                                                    {"--force", {}},
                                                    {"--backup-firmware", {}},
                                                    {"--verify", {}},
                                                    {"--read", {}},
                                                    {"--range", "START:END"},
                                                    {"--json", {}}}};
constexpr std::array<OptionDef, 4> k_stamp_options{
    {{"--type", "ZA|YA|any"}, {"--version", "X.YY"}, {"--at", "ADDRESS"}, {"-o", "OUT"}}};
constexpr std::array<OptionDef, 7> k_replay_options{{{"--speed", "X"},
                                                     {"--csv", {}},
                                                     {"--json", {}},
                                                     {"--stats", {}},
                                                     {"--turns", "N"},
                                                     {"--type", "ZA|YA"},
                                                     {"--max-modul", "M"}}};
constexpr std::array<OptionDef, 1> k_import_options{{{"--from-history", "ID"}}};
constexpr std::array<OptionDef, 4> k_history_list_options{
    {{"--serial", "N"}, {"--since", "DATE"}, {"--json", {}}, {"--csv", {}}}};

constexpr std::array<CommandDef, 18> k_commands{{
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
    {CommandId::params_import, "params import", "FILE | --from-history ID",
     "store a parameter file's set (or a set of the history); identity stays the scanner's",
     "Checks the file whole against the parameter catalogue and the scanner's type (a bad\n"
     "file is refused and nothing is stored), writes the automatic backup of the scanner's\n"
     "set, stores the file's settings (\"W\"), waits for \"P\", reads the set back and\n"
     "compares. Serial number, version and index stay the scanner's, whichever scanner the\n"
     "file came from. Prints the settings that changed, as the scanner now holds them.\n"
     "--from-history ID takes the set of history entry ID instead of a file (the set read,\n"
     "stored, backed up, saved or loaded then): a replacement scanner gets the set its\n"
     "predecessor last had.\n",
     k_import_options, 0, 1},
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
    {CommandId::monitor, "monitor", "[--stats] [--turns N] [--csv | --json] [--follow]",
     "one line per turn, or how well each tag reads",
     "Reads the parameter set (for the scanner type), then prints one line per mirror turn\n"
     "until N turns were printed or the tool is interrupted (Ctrl+C ends it with status 0).\n"
     "--csv: a header, then t_ms, resolution, temperature, speed_ok, temperature_low,\n"
     "heater_active and the number of stripes, followed by start, end, width, gap, code,\n"
     "tag_width, tag_angle for each stripe (an absent value is an empty field).\n"
     "--json: one object per line.\n"
     "--stats: instead of the lines, the statistics over N turns (default 100; the read\n"
     "rates over the last 100000 when N is larger): turn rate, temperature, stripes per\n"
     "turn, status bits, and per tag code the turns it was read in, its read rate,\n"
     "duplicates, angle and width mean and deviation in increments, and the turn it was\n"
     "last read. A table, one JSON object (--json) or one CSV row per code (--csv).\n"
     "Ctrl+C prints the statistics of the turns so far.\n"
     "--follow: a lost link (adapter pulled, device server restarted) is waited for instead\n"
     "of ending the command: the same port is tried every 2 s until the scanner is back.\n",
     k_monitor_options, 0, 0},
    {CommandId::flash, "flash",
     "FILE [--force] [--json] [--max-baud N] [--backup-firmware] | --verify FILE | --read OUT "
     "[--range START:END]",
     "the whole update, progress on stderr; verify; read back",
     "Checks the hex file and its identity (docs/firmware-image.md) against the scanner's\n"
     "type and version (its \"W\" reply), then runs the firmware update: \"F\", the\n"
     "bootstrap string and the flash library's steps; sectors that already hold the image\n"
     "are neither erased nor written. The update log's lines go to stdout, a progress line\n"
     "to stderr. An image for the other type, or of the same or an older version, is refused\n"
     "(status 2) unless --force; a damaged image always. Ctrl+C stops it after the step\n"
     "under way (CloseCom still runs; status 6).\n"
     "--max-baud N caps the rate the library negotiates for the transfer (57600: none).\n"
     "--backup-firmware: first reads the whole flash back and keeps it beside the parameter\n"
     "backups of the scanner's serial number (<UTC time>-firmware.h86); flash takes it back.\n"
     "--verify: compares the CRC of every sector the image touches with the image and writes\n"
     "nothing; prints \"identical\" (status 0) or \"differs\" and the sectors (status 1).\n"
     "--read: writes the flash (or START:END of it, END exclusive) to OUT as Intel HEX.\n"
     "--json: one JSON object per line (image, phase, rate, progress, result) instead of the\n"
     "log.\n"
     "Several --port (up to 8), or --sim N, update side by side: one progress line per port\n"
     "on a terminal (or the JSON lines, each with its port), then a table of each port's\n"
     "result; status 0 when every port succeeded, else 6. A port that fails never stops the\n"
     "others.\n",
     k_flash_options, 1, 1, Reach::port},
    {CommandId::record, "record", "FILE [--seconds N] [--follow]",
     "capture the wire (docs/capture-format.md)",
     "Opens the port and records into a capture file every byte received, every byte the\n"
     "tool writes and the port's events, with their times in microseconds, under a header\n"
     "with the tool's version and the port's name. It reads the parameter set once (\"R\")\n"
     "so that a replay knows the scanner's type, then listens until N seconds have passed or\n"
     "Ctrl+C stops it, the usual end: status 0 either way. The file is written as it goes;\n"
     "if it cannot be written, or fills up on the way, the status is 2 and what was recorded\n"
     "until then stays readable. The line at the end on stderr counts the records and bytes.\n"
     "--follow: a lost port is waited for and the recording goes on, as monitor --follow.\n",
     k_record_options, 1, 1, Reach::port},
    {CommandId::replay, "replay",
     "FILE [--speed X] [--stats [--turns N]] [--csv | --json] [--type ZA | --type YA --max-modul "
     "M]",
     "decode a capture, same lines as monitor",
     "Decodes the bytes a capture received through the same receive assembly and decoders as\n"
     "monitor and prints the same lines (no port is opened); t_ms is the time of the record\n"
     "that completed the frame. Turns start after the capture's first parameter reply\n"
     "(\"W\"), which gives the scanner's type, as monitor reads the set first; a capture\n"
     "begins with the last reply seen before it started. A capture without any reply is\n"
     "refused with status 2 unless --type ZA, or --type YA with --max-modul M (the set's\n"
     "maximum modul width, which a \"YA\" scanner's gaps are measured against), stands in\n"
     "for the reply until one comes.\n"
     "--speed 1 (the default) replays at the recorded pace, 2 twice as fast, 0 as fast as\n"
     "possible. A file that is not a capture is refused (status 2); a capture that stops at\n"
     "a bad record (cut short, damaged) prints the turns before it, then the reason on\n"
     "stderr, status 2. Ctrl+C stops it with status 130.\n"
     "--stats: the statistics of monitor --stats over the whole capture (its last N turns\n"
     "with --turns N; at most 100000), read as fast as possible.\n",
     k_replay_options, 1, 1, Reach::none},
    {CommandId::image_info, "image info", "FILE [--json]",
     "a firmware file's identity (docs/firmware-image.md)",
     "Prints the identity block of a hex file: type, version, build date, its CRC, the\n"
     "image's own CRC and whether they match (\"no identity\" for a file without one).\n"
     "A damaged image ends with status 2.\n",
     k_json, 1, 1, Reach::none},
    {CommandId::image_stamp, "image stamp",
     "IN.h86 --type ZA|YA|any --version X.YY [--at ADDRESS] -o OUT.h86",
     "write a copy of a firmware file with an identity block",
     "Writes OUT.h86: the image of IN.h86 with an identity block for the type and version\n"
     "given and today's date, at ADDRESS (a multiple of 16, free of data) or in the first\n"
     "free 256-byte block after the image's data.\n",
     k_stamp_options, 1, 1, Reach::none},
    {CommandId::history_list, "history list", "[--serial N] [--since DATE] [--json | --csv]",
     "the service history, oldest first",
     "Lists the entries of the service history: of this station, or of the whole line when\n"
     "a central database is set (TRX81500_HISTORY_URL, or url in history.conf). --serial\n"
     "keeps one scanner's, --since those at or after DATE (UTC, 2025-03-01 or\n"
     "2025-03-01T09:30:00Z). --json writes one object per line (id, time, station, user,\n"
     "serial, kind, ok and the kind's own fields), --csv a table.\n",
     k_history_list_options, 0, 0, Reach::none},
    {CommandId::history_show,
     "history show",
     "ID",
     "one entry of the history, whole",
     "Prints the entry with this id as name = value lines; a set field by field with the\n"
     "catalogue's names. Status 2 when there is no such entry.\n",
     {},
     1,
     1,
     Reach::none},
    {CommandId::history_export,
     "history export",
     "FILE.csv",
     "the whole history as CSV",
     "Writes every entry of the history to FILE.csv (written whole or not at all): id, time,\n"
     "station, user, program, serial, kind, ok and the kind's fields as JSON.\n",
     {},
     1,
     1,
     Reach::none},
}};

} // namespace

std::span<const CommandDef> command_table() {
    return k_commands;
}

} // namespace trx::cli
