// trx81500-cli as a process against trx81500-sim on a pseudo-terminal: every command, both
// scanner types, and the exit status of each kind of failure.
#include "tests/cli/cli_process.hpp"

#include "base/numtext.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

using namespace cli_e2e;

TEST_F(Cli, InfoAndParamsGetShowTheScannersSetForBothTypes) {
    const Outcome ya = cli(sim("YA") + std::vector<std::string>{"info"});
    EXPECT_EQ(ya.status, 0) << ya.err;
    EXPECT_EQ(ya.err, ""); // the simulator's events stay out of a script's stderr
    EXPECT_EQ(ya.out, "type = YA\nserial_number = 1223476\nversion = 1.09\nindex = 1\n");
    const Outcome ya_json = cli(sim("YA") + std::vector<std::string>{"params", "get", "--json"});
    EXPECT_EQ(ya_json.status, 0) << ya_json.err;
    EXPECT_EQ(ya_json.out,
              "{\"type\":\"YA\",\"serial_number\":1223476,\"version\":\"1.09\",\"speed\":10.0,"
              "\"resolution\":8192,\"enable_heater\":true,\"motor_enable\":true,"
              "\"gap_offset_abs\":5,\"equal_tolerance_abs\":5,\"min_modul_angle\":10,"
              "\"max_modul_angle\":100,\"can_baudrate\":250,\"rs232_baudrate\":57600,"
              "\"equal_tolerance_rel\":20,\"gap_offset_rel\":20,\"gap_correction\":100,"
              "\"can_identifier\":291}\n");
    const Outcome za = cli(sim("ZA") + std::vector<std::string>{"params", "get"});
    EXPECT_EQ(za.status, 0) << za.err;
    EXPECT_EQ(za.out, "type = ZA\nserial_number = 1223476\nversion = 1.09\nspeed = 10.0\n"
                      "resolution = 8192\nenable_heater = on\nmotor_enable = on\n");
    const Outcome za_info = cli(sim("ZA") + std::vector<std::string>{"info", "--json"});
    EXPECT_EQ(za_info.out,
              "{\"type\":\"ZA\",\"serial_number\":1223476,\"version\":\"1.09\",\"index\":1}\n");
}

TEST_F(Cli, ParamsSetStoresAndReadsBackOrStoresNothingAtAll) {
    const fs::path state = dir / "ya.state";
    const Outcome set =
        cli(sim("YA", state) +
            std::vector<std::string>{"params", "set", "speed=12,5", "can_identifier=0x7FF",
                                     "rs232_baudrate=115200", "motor_enable=off"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "speed = 12.5\ncan_identifier = 0x7FF\nrs232_baudrate = 115200\n"
                       "motor_enable = off\n");
    const std::string stored = read_file(state);
    for (const char* kept :
         {"speed 125", "can_identifier 2047", "rs232_baudrate 5", "switches 1"}) {
        EXPECT_NE(stored.find(kept), std::string::npos) << kept << " in\n" << stored;
    }
    const Outcome again = cli(sim("YA", state) + std::vector<std::string>{"params", "get"});
    EXPECT_NE(again.out.find("speed = 12.5\n"), std::string::npos) << again.out;

    // A bad value anywhere: the window's message, and the scanner keeps its set.
    const Outcome bad = cli(sim("YA", state) + std::vector<std::string>{"params", "set", "speed=10",
                                                                        "gap_correction=5"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "trx81500-cli: Possible values for gap correction: 10 - 200\n");
    EXPECT_EQ(read_file(state), stored);

    const fs::path za_state = dir / "za.state";
    const Outcome za =
        cli(sim("ZA", za_state) +
            std::vector<std::string>{"params", "set", "speed=6.0", "can_baudrate=500"});
    EXPECT_EQ(za.status, 2);
    EXPECT_EQ(za.errors(), "trx81500-cli: can_baudrate is not in the parameter set of a \"ZA\" "
                           "scanner; nothing was stored\n");
    EXPECT_FALSE(fs::exists(za_state));
    const Outcome za_ok =
        cli(sim("ZA", za_state) +
            std::vector<std::string>{"params", "set", "speed=6.0", "enable_heater=off"});
    EXPECT_EQ(za_ok.status, 0) << za_ok.err;
    EXPECT_EQ(za_ok.out, "speed = 6.0\nenable_heater = off\n");
    EXPECT_NE(read_file(za_state).find("speed 60"), std::string::npos);

    // A set the scanner holds out of range is not stored over with one field changed.
    std::ofstream(dir / "wrong.state") << "speed 200\n";
    const Outcome wrong = cli(sim("YA", dir / "wrong.state") +
                              std::vector<std::string>{"params", "set", "resolution=16384"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.errors(), "trx81500-cli: the scanner's speed is out of range (20.0); set it "
                              "too; nothing was stored\n");
}

TEST_F(Cli, ExportChangeDiffImportRestoresTheSetWithABackupForBothTypes) {
    for (const char* type : {"YA", "ZA"}) {
        SCOPED_TRACE(type);
        const fs::path state = dir / (std::string(type) + ".state");
        const std::string file = (dir / (std::string(type) + ".trxp")).string();
        const auto run = [&](std::vector<std::string> args) {
            return cli(sim(type, state) + args);
        };

        const Outcome exported = run({"params", "export", file});
        ASSERT_EQ(exported.status, 0) << exported.err;
        const std::string text = read_file(file);
        EXPECT_NE(text.find("type = " + std::string(type) + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("speed = 10,0"), std::string::npos) << text;
        EXPECT_NE(text.find("index = 1\n"), std::string::npos) << text;

        const Outcome set = run({"params", "set", "speed=12.5", "enable_heater=off"});
        ASSERT_EQ(set.status, 0) << set.err;
        const Outcome differs = run({"params", "diff", file});
        EXPECT_EQ(differs.status, 1) << differs.err;
        EXPECT_EQ(differs.out, "speed: scanner 12.5, file 10.0\n"
                               "enable_heater: scanner off, file on\n");

        const Outcome imported = run({"params", "import", file});
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(imported.out, "speed = 10.0\nenable_heater = on\n");
        const Outcome same = run({"params", "diff", file});
        EXPECT_EQ(same.status, 0) << same.err;
        EXPECT_EQ(same.out, "");
        const Outcome get = run({"params", "get"});
        EXPECT_NE(get.out.find("speed = 10.0\nresolution = 8192\nenable_heater = on\n"),
                  std::string::npos)
            << get.out;

        // One backup per store, each the set as the scanner held it before.
        const auto saved = backups("1223476");
        ASSERT_EQ(saved.size(), type == std::string("YA") ? 2U : 4U);
        EXPECT_NE(imported.err.find("Backup: " + (dir / "data").string()), std::string::npos)
            << imported.err;
        bool before_import = false;
        for (const fs::path& p : saved) {
            EXPECT_NE(p.filename().string().find("-before-store"), std::string::npos) << p;
            before_import = before_import || read_file(p).find("speed = 12,5") != std::string::npos;
        }
        EXPECT_TRUE(before_import);
    }
    // The other type's file is refused and nothing is stored.
    const Outcome other =
        cli(sim("YA", dir / "YA.state") +
            std::vector<std::string>{"params", "import", (dir / "ZA.trxp").string()});
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.errors().find("the file holds a ZA set; the connected scanner is a YA; nothing "
                                  "was stored"),
              std::string::npos)
        << other.err;
}

TEST_F(Cli, AFileOfThisPcThatCannotBeWrittenEndsWithStatusSeven) {
    // A plain file where a folder should be stops even root from writing below it.
    std::ofstream(dir / "plain") << "not a folder\n";
    const fs::path target = dir / "plain" / "golden.trxp";
    const Outcome exported =
        cli(sim("YA") + std::vector<std::string>{"params", "export", target.string()});
    EXPECT_EQ(exported.status, 7);
    EXPECT_TRUE(exported.err.starts_with("trx81500-cli: cannot write " + target.string() + ": "))
        << exported.err;
    EXPECT_EQ(std::count(exported.err.begin(), exported.err.end(), '\n'), 1) << exported.err;

    // The data folder is a file: the backup cannot be written, and nothing is stored.
    fs::remove_all(dir / "data");
    std::ofstream(dir / "data") << "not a folder\n";
    const fs::path state = dir / "ya.state";
    const Outcome set =
        cli(sim("YA", state) + std::vector<std::string>{"params", "set", "speed=12,5"});
    EXPECT_EQ(set.status, 7);
    EXPECT_TRUE(set.errors().starts_with(
        "trx81500-cli: the backup of the scanner's parameters could not be written to "))
        << set.err;
    // The error line, then the one warning that the history (in the same folder) waits.
    const std::string errors = set.errors();
    const auto first_line = errors.substr(0, errors.find('\n') + 1);
    EXPECT_TRUE(first_line.ends_with("; nothing was stored\n")) << set.err;
    EXPECT_TRUE(errors.substr(first_line.size())
                    .starts_with("trx81500-cli: warning: the history is not being written: "))
        << set.err;
    EXPECT_EQ(read_file(state).find("speed 125"), std::string::npos);
}

TEST_F(Cli, IndexSetAndGetForBothTypes) {
    for (const char* type : {"YA", "ZA"}) {
        const fs::path state = dir / (std::string(type) + ".state");
        const Outcome set = cli(sim(type, state) + std::vector<std::string>{"index", "set", "300"});
        EXPECT_EQ(set.status, 0) << set.err;
        EXPECT_EQ(set.out, "index = 300\n");
        const Outcome get = cli(sim(type, state) + std::vector<std::string>{"index", "get"});
        EXPECT_EQ(get.out, "300\n") << type;
    }
    const Outcome bad = cli({"--sim", "index", "set", "65536"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "trx81500-cli: Possible values for index: 0 - 65535\n");
}

TEST_F(Cli, VerboseWritesTheLogToStderrStampedWithTheUtcTime) {
    using namespace std::chrono;
    const auto utc_hour = [] {
        const auto now = system_clock::now();
        return hh_mm_ss(floor<milliseconds>(now) - floor<days>(now)).hours().count();
    };
    const long before = utc_hour();
    const Outcome get = cli(sim("YA") + std::vector<std::string>{"-v", "index", "get"});
    const long after = utc_hour();
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "1\n"); // stdout stays the script's
    const std::regex line(R"(^(\d\d):\d\d:\d\d\.\d{3} trx\.(cli|session) info: .*)");
    std::istringstream lines(get.err);
    int n = 0;
    for (std::string text; std::getline(lines, text); ++n) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        const long hour = std::stol(m[1]);
        EXPECT_TRUE(hour == before || hour == after) << text;
    }
    // The command and its port, opened, online (twice: the session's and the tool's), closed.
    EXPECT_EQ(n, 5) << get.err;

    const Outcome quiet = cli(sim("YA") + std::vector<std::string>{"index", "get"});
    EXPECT_EQ(quiet.err, "");
    const Outcome bad = cli({"--log=verbose", "ports"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "trx81500-cli: --log takes debug, info or warning, not 'verbose'\n");
}

TEST_F(Cli, MonitorPrintsOneLinePerTurnInEachFormat) {
    const Outcome ya =
        cli(sim("YA") + std::vector<std::string>{"monitor", "--turns", "3", "--json"});
    ASSERT_EQ(ya.status, 0) << ya.err;
    std::istringstream lines(ya.out);
    std::string line;
    int n = 0;
    long last_t = -1;
    while (std::getline(lines, line)) {
        ++n;
        ASSERT_TRUE(line.starts_with("{\"t_ms\":")) << line;
        const long t = std::stol(line.substr(8));
        EXPECT_GT(t, last_t);
        last_t = t;
        EXPECT_NE(line.find(",\"resolution\":8192,\"temperature\":21,\"speed_ok\":true,"),
                  std::string::npos)
            << line;
        for (const char* code : {"\"code\":11", "\"code\":66", "\"tag_width\":4"}) {
            EXPECT_NE(line.find(code), std::string::npos) << code << " in " << line;
        }
    }
    EXPECT_EQ(n, 3);

    const Outcome za =
        cli(sim("ZA") + std::vector<std::string>{"monitor", "--turns", "2", "--csv"});
    ASSERT_EQ(za.status, 0) << za.err;
    std::istringstream rows(za.out);
    std::getline(rows, line);
    EXPECT_EQ(line, "t_ms,resolution,temperature,speed_ok,temperature_low,heater_active,stripes,"
                    "start,end,width,gap,code,tag_width,tag_angle");
    for (int row = 0; row < 2; ++row) {
        ASSERT_TRUE(std::getline(rows, line));
        std::vector<std::string> cells;
        std::stringstream split(line);
        for (std::string cell; std::getline(split, cell, ',');) {
            cells.push_back(cell);
        }
        if (line.back() == ',') {
            cells.emplace_back(); // the last stripe's tag angle is empty
        }
        ASSERT_GE(cells.size(), 7U) << line;
        const auto stripes = std::stoul(cells[6]);
        EXPECT_EQ(stripes, 18U);
        ASSERT_EQ(cells.size(), 7 + 7 * stripes) << line;
        for (std::size_t s = 0; s < stripes; ++s) {
            EXPECT_EQ(cells[7 + 7 * s + 4], "0"); // "ZA" records carry no code
            EXPECT_EQ(cells[7 + 7 * s + 5], "");  // so no tag width
        }
    }
    const Outcome text = cli(sim("ZA") + std::vector<std::string>{"monitor", "--turns", "1"});
    EXPECT_TRUE(text.out.starts_with("t_ms ")) << text.out;
    EXPECT_NE(text.out.find("  resolution 8192  temperature 21  status speed_ok  stripes 18\n"),
              std::string::npos)
        << text.out;
}

// The JSON turn lines of an output, each with its t_ms.
std::vector<std::pair<long, std::string>> turn_lines(const std::string& out) {
    std::vector<std::pair<long, std::string>> turns;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.starts_with("{\"t_ms\":")) << line;
        if (line.starts_with("{\"t_ms\":")) {
            turns.emplace_back(std::stol(line.substr(8)), line);
        }
    }
    return turns;
}

TEST_F(Cli, RecordThenReplayGivesTheTurnsMonitorSeesInTheSameTime) {
    const std::string file = (dir / "wire.trxcap").string();
    const Outcome recorded =
        cli(sim("YA") + std::vector<std::string>{"record", file, "--seconds", "2"});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    // The summary is the one line on stderr.
    EXPECT_TRUE(recorded.err.starts_with("Recorded 2.0 s into " + file + ": ")) << recorded.err;
    EXPECT_EQ(std::count(recorded.err.begin(), recorded.err.end(), '\n'), 1) << recorded.err;

    const Outcome replayed = cli({"replay", file, "--speed", "0", "--json"});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(replayed.err, "");
    const auto replay = turn_lines(replayed.out);
    for (const auto& [t, line] : replay) {
        // The recorder sees its end at its next wake-up: on a busy machine a little after 2 s.
        EXPECT_LE(t, 2100);
        for (const char* code : {"\"code\":11", "\"code\":66", "\"resolution\":8192"}) {
            EXPECT_NE(line.find(code), std::string::npos) << code << " in " << line;
        }
    }

    // monitor over the same two seconds from the opening of its port.
    const auto past_two_seconds = [](const std::string& out) {
        const auto last = out.rfind("\n{\"t_ms\":");
        return last != std::string::npos && std::stol(out.substr(last + 9)) >= 2000;
    };
    const Outcome live = cli(Invocation{
        sim("YA") + std::vector<std::string>{"monitor", "--json"}, {}, {}, past_two_seconds});
    ASSERT_EQ(live.status, 0) << live.err;
    long monitored = 0;
    for (const auto& [t, line] : turn_lines(live.out)) {
        monitored += t <= 2000 ? 1 : 0;
    }
    // The simulator turns 10 times a second; monitor loses a turn or two to the link's start.
    EXPECT_GE(replay.size(), 17U);
    EXPECT_LE(replay.size(), 21U);
    EXPECT_LE(std::abs(static_cast<long>(replay.size()) - monitored), 3)
        << replay.size() << " replayed, " << monitored << " monitored";
}

TEST_F(Cli, EachKindOfFailureHasItsExitStatusAndOneLine) {
    const Outcome missing = cli({"--port", "/dev/ttyTRXnone", "info"});
    EXPECT_EQ(missing.status, 3);
    // The system's diagnosis, on one line.
    EXPECT_TRUE(missing.err.starts_with("trx81500-cli: cannot open /dev/ttyTRXnone: There is no "
                                        "device /dev/ttyTRXnone. "))
        << missing.err;
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    for (const char* type : {"YA", "ZA"}) {
        const Outcome silent =
            cli(sim(type) + std::vector<std::string>{"--sim-arg", "--silence-after", "--sim-arg",
                                                     "0", "--timeout", "0.5", "params", "get"});
        EXPECT_EQ(silent.status, 4) << type;
        EXPECT_TRUE(
            silent.errors().starts_with("trx81500-cli: no answer from the scanner on /dev/"))
            << silent.err;
        EXPECT_TRUE(silent.errors().ends_with(" within 0.5 s\n")) << silent.err;
    }
    const Outcome garbled = cli({"--sim", "--sim-arg", "--bad-checksum-rate", "--sim-arg", "1",
                                 "--timeout", "0.5", "index", "get"});
    EXPECT_EQ(garbled.status, 4);
    EXPECT_NE(garbled.errors().find("(frames with a bad checksum: "), std::string::npos)
        << garbled.err;

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{"--sim", "scan"}, "trx81500-cli: unknown command 'scan' (see trx81500-cli --help)\n"},
        {{"--sim", "params", "set", "colour=red"},
         "trx81500-cli: unknown field 'colour' (see trx81500-cli params set --help)\n"},
        {{"--sim", "params", "set", "speed=fast"},
         "trx81500-cli: Possible values for speed: 6.0 - 18.0 turns/sec\n"},
        {{"info"}, "trx81500-cli: no port given: use --port NAME or --sim\n"},
        {{"--sim", "params", "import", "/nonexistent/x.trxp"},
         "trx81500-cli: cannot read /nonexistent/x.trxp: No such file or directory\n"},
        {{"replay", "/nonexistent/x.trxcap"},
         "trx81500-cli: cannot replay /nonexistent/x.trxcap: the file cannot be read: No such "
         "file or directory\n"},
    };
    for (const auto& [args, err] : usage) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.status, 2) << err;
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "");
    }
    // A capture this PC cannot write is a local file's failure, not a usage error.
    const Outcome unwritable = cli({"--sim", "record", "/nonexistent/x.trxcap"});
    EXPECT_EQ(unwritable.status, 7);
    EXPECT_EQ(unwritable.err,
              "trx81500-cli: cannot write /nonexistent/x.trxcap: No such file or directory\n");
    EXPECT_EQ(unwritable.out, "");
    const Outcome help = cli({"params", "set", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: trx81500-cli [OPTIONS] params set NAME=VALUE...\n"));
    const Outcome ports = cli({"ports"});
    EXPECT_EQ(ports.status, 0);
    // Each of the ten is listed, marked when no device stands behind it on this computer.
    EXPECT_TRUE(ports.out.starts_with("COM1          /dev/ttyS0")) << ports.out;
    EXPECT_NE(ports.out.find("COM10         /dev/ttyS9"), std::string::npos) << ports.out;
}

} // namespace
