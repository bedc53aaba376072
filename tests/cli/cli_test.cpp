// The tool's command line and its output formats, without a scanner.
#include "cli/command_line.hpp"
#include "cli/field_values.hpp"
#include "cli/stderr_log.hpp"
#include "cli/turn_lines.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>
#include <thread>

namespace trx::cli {
namespace {

using namespace std::chrono_literals;

TEST(CommandLine, GlobalOptionsThenACommandWithItsOwnOptions) {
    const auto line = parse_command_line({"--sim", "--sim-arg", "--type", "--sim-arg=ZA",
                                          "--timeout", "0,25", "monitor", "--turns", "5", "--csv"});
    ASSERT_TRUE(line) << line.error().message;
    EXPECT_TRUE(line->global.sim);
    EXPECT_EQ(line->global.sim_args, (std::vector<std::string>{"--type", "ZA"}));
    EXPECT_EQ(line->global.timeout, 250ms);
    EXPECT_EQ(line->command->id, CommandId::monitor);
    EXPECT_EQ(line->option("--turns"), "5");
    EXPECT_TRUE(line->has("--csv"));

    const auto index = parse_command_line({"--port", "COM3", "index", "set", "300"});
    ASSERT_TRUE(index);
    EXPECT_EQ(index->command->id, CommandId::index_set);
    EXPECT_EQ(index->args, std::vector<std::string>{"300"});
}

TEST(CommandLine, WhatItRefuses) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--port", "COM1", "--sim", "info"}, "--port and --sim exclude each other"},
        {{"--sim", "monitor", "--csv", "--json"}, "--csv and --json exclude each other"},
        {{"--sim", "index", "set"}, "usage: trx81500-cli index set N"},
        {{"--timeout", "0", "info"}, "--timeout takes seconds from 0.001 to 3600, not '0'"},
        {{"--sim", "monitor", "--turns", "0"}, "--turns takes a whole number from 1, not '0'"},
        {{"--sim", "info", "--csv"}, "info has no option '--csv'"},
        {{"--sim", "flash", "f.h86", "--max-baud", "9600"},
         "--max-baud takes a rate from 57600 to 4000000, not '9600'"},
        {{"--sim", "index"}, "index needs one of: get, set"},
        {{"--sim", "scan"}, "unknown command 'scan' (see trx81500-cli --help)"},
    };
    for (const auto& [args, message] : bad) {
        const auto line = parse_command_line(args);
        ASSERT_FALSE(line) << message;
        EXPECT_EQ(line.error().message, message);
    }
}

TEST(CommandLine, WordsThatLookLikeSomethingElse) {
    // A value is the next word, whatever it looks like; a file may be named like a command.
    const auto line = parse_command_line(
        {"--sim", "--sim-arg", "--port", "--timeout=2", "params", "export", "info"});
    ASSERT_TRUE(line) << line.error().message;
    EXPECT_EQ(line->global.sim_args, std::vector<std::string>{"--port"});
    EXPECT_EQ(line->global.timeout, 2000ms);
    EXPECT_EQ(line->command->id, CommandId::params_export);
    EXPECT_EQ(line->args, std::vector<std::string>{"info"});

    const auto index = parse_command_line({"--port=COM2", "index", "set", "-1"});
    ASSERT_TRUE(index) << index.error().message;
    EXPECT_EQ(index->global.port, "COM2");
    EXPECT_EQ(index->args, std::vector<std::string>{"-1"}); // refused later as an index

    // After "--" every word is an argument.
    const auto odd = parse_command_line({"--sim", "params", "export", "--", "--odd.trxp"});
    ASSERT_TRUE(odd) << odd.error().message;
    EXPECT_EQ(odd->args, std::vector<std::string>{"--odd.trxp"});
    EXPECT_TRUE(odd->options.empty());

    // The documented bounds are accepted, to the millisecond.
    const auto longest = parse_command_line({"--timeout", "3600", "info"});
    ASSERT_TRUE(longest) << longest.error().message;
    EXPECT_EQ(longest->global.timeout, 3'600'000ms);
    const auto shortest = parse_command_line({"--timeout", "0.001", "info"});
    ASSERT_TRUE(shortest) << shortest.error().message;
    EXPECT_EQ(shortest->global.timeout, 1ms);
    const auto slowest = parse_command_line({"replay", "x", "--speed", "0.001"});
    ASSERT_TRUE(slowest) << slowest.error().message;

    // "--" ends the options of every command, not only of the last word.
    const auto set = parse_command_line({"--sim", "params", "set", "--", "speed=12"});
    ASSERT_TRUE(set) << set.error().message;
    EXPECT_EQ(set->command->id, CommandId::params_set);
    EXPECT_EQ(set->args, std::vector<std::string>{"speed=12"});
    const auto dashed = parse_command_line({"replay", "--", "--odd.trxcap"});
    ASSERT_TRUE(dashed) << dashed.error().message;
    EXPECT_EQ(dashed->args, std::vector<std::string>{"--odd.trxcap"});
    const auto options_first = parse_command_line({"replay", "--speed", "2", "--", "-x.trxcap"});
    ASSERT_TRUE(options_first) << options_first.error().message;
    EXPECT_EQ(options_first->option("--speed"), "2");
    EXPECT_EQ(options_first->args, std::vector<std::string>{"-x.trxcap"});

    const auto replay = parse_command_line({"replay", "x.trxcap", "--speed=0,5", "--json"});
    ASSERT_TRUE(replay) << replay.error().message;
    EXPECT_EQ(replay->option("--speed"), "0,5");
    EXPECT_EQ(replay->option("--json"), "");
    EXPECT_FALSE(replay->has("--csv"));
    EXPECT_EQ(replay->option("--csv"), std::nullopt);
}

TEST(CommandLine, HelpAndVersionWhereverTheyStand) {
    const auto tool = parse_command_line({"--help", "info"});
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->kind, CommandLine::Kind::help);
    EXPECT_EQ(tool->command, nullptr);
    const auto command = parse_command_line({"params", "set", "--help"});
    ASSERT_TRUE(command);
    EXPECT_EQ(command->kind, CommandLine::Kind::help);
    ASSERT_NE(command->command, nullptr);
    EXPECT_EQ(command->command->id, CommandId::params_set); // no NAME=VALUE needed for help
    const auto version = parse_command_line({"--version"});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->kind, CommandLine::Kind::version);
    // Both: the last one counts.
    EXPECT_EQ(parse_command_line({"--help", "--version"})->kind, CommandLine::Kind::version);
    EXPECT_EQ(parse_command_line({"--version", "--help"})->kind, CommandLine::Kind::help);

    const std::string help = help_text(nullptr);
    EXPECT_TRUE(help.starts_with("Usage: trx81500-cli [--port NAME | --sim [N] [--sim-arg ARG]...] "
                                 "[--timeout S] COMMAND [ARGS]\n"));
    EXPECT_NE(help.find("  --log[=LEVEL]  the log on stderr"), std::string::npos);
    EXPECT_NE(help.find("  params set NAME=VALUE...        change fields"), std::string::npos);
    EXPECT_NE(help.find("; 7 a file or folder of this PC cannot be written\n"), std::string::npos);
    EXPECT_NE(help.find("8 the scanner's reply makes no sense"), std::string::npos);
    EXPECT_NE(help.find("nothing is stored (status 7).\n"), std::string::npos);
}

TEST(CommandLine, TheLogLevelFromLogOrV) {
    const std::vector<std::pair<std::vector<std::string>, std::optional<ui::LogLevel>>> cases = {
        {{"info"}, std::nullopt},
        {{"--log", "info"}, ui::LogLevel::info}, // "info" is the command here
        {{"--log=debug", "info"}, ui::LogLevel::debug},
        {{"--log", "warning", "info"}, ui::LogLevel::warning},
        {{"-v", "info"}, ui::LogLevel::info},
        {{"-vv", "info"}, ui::LogLevel::debug},
        {{"-v", "-v", "info"}, ui::LogLevel::debug},
        {{"--log=warning", "-v", "info"}, ui::LogLevel::info}, // the more detailed
    };
    for (const auto& [args, level] : cases) {
        const auto line = parse_command_line(args);
        ASSERT_TRUE(line) << args.front() << ": " << line.error().message;
        EXPECT_EQ(line->global.log, level) << args.front() << " " << args[1];
        EXPECT_EQ(line->command->id, CommandId::info);
    }
}

TEST(CommandLine, WhatItRefusesInItsOwnWords) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--sim", "--timeout"}, "--timeout needs a value"},
        {{"--sim", "monitor", "--turns"}, "--turns needs a value"},
        {{"--port"}, "--port needs a value"},
        {{"--colour", "info"}, "unknown option '--colour' (see trx81500-cli --help)"},
        {{"-x", "info"}, "unknown option '-x' (see trx81500-cli --help)"},
        {{"--sim"}, "no command given (see trx81500-cli --help)"},
        {{"--sim-arg", "x", "info"}, "--sim-arg needs --sim"},
        {{"--sim", "params"}, "params needs one of: get, set, export, import, diff"},
        {{"--sim", "params", "--json", "get"},
         "params needs one of: get, set, export, import, diff"},
        {{"--sim", "info", "--port", "COM1"}, "info has no option '--port'"},
        {{"--sim", "info", "--csv=1"}, "info has no option '--csv'"},
        {{"--sim", "params", "export"}, "usage: trx81500-cli params export FILE"},
        {{"--sim", "info", "extra"}, "usage: trx81500-cli info [--json]"},
        {{"--sim", "replay", "x", "--speed", "fast"},
         "--speed takes 0 (as fast as possible) or a number from 0.001, with at most three "
         "decimals, not 'fast'"},
        // Below the smallest pace it would round to 0, as fast as possible: refused instead.
        {{"replay", "x", "--speed", "0.0001"},
         "--speed takes 0 (as fast as possible) or a number from 0.001, with at most three "
         "decimals, not '0.0001'"},
        {{"--timeout", "3600.001", "info"},
         "--timeout takes seconds from 0.001 to 3600, not '3600.001'"},
        {{"--timeout", "0.0001", "info"},
         "--timeout takes seconds from 0.001 to 3600, not '0.0001'"},
        {{"--sim", "record", "x", "--seconds", "1", "--seconds", "0"},
         "--seconds takes a whole number from 1, not '0'"},
        {{"--log=loud", "info"}, "--log takes debug, info or warning, not 'loud'"},
    };
    for (const auto& [args, message] : bad) {
        const auto line = parse_command_line(args);
        ASSERT_FALSE(line) << message;
        EXPECT_EQ(line.error().message, message);
        EXPECT_EQ(line.error().kind, ErrorKind::usage);
    }
}

TEST(FieldValues, MessagesAndValuesInTheWindowsUnits) {
    const auto* resolution = link::find_para_field("resolution");
    const auto* can = link::find_para_field("can_baudrate");
    EXPECT_EQ(range_message(*resolution),
              "Possible values for resolution: 8192, 16384, 24576, 32768, 40960 or 65536");
    EXPECT_EQ(range_message(*link::find_para_field("gap_correction")),
              "Possible values for gap correction: 10 - 200");
    EXPECT_EQ(json_value(*can, 0), "null");
    EXPECT_EQ(json_value(*can, 3), "250");
    EXPECT_EQ(json_value(*link::find_para_field("version"), 109), "\"1.09\"");
    EXPECT_EQ(value_text(*link::find_para_field("speed"), 125), "12.5");

    const auto set = parse_assignments({"speed=12,5", "can_identifier=0x7FF", "motor_enable=off"});
    ASSERT_TRUE(set);
    EXPECT_EQ((*set)[0].value, 125U);
    EXPECT_EQ((*set)[1].value, 0x7FFU);
    // More decimals than the field keeps: said as such, in range or not.
    EXPECT_EQ(parse_assignments({"speed=12.55"}).error().message,
              "speed takes one decimal place, not '12.55'. Possible values for speed: 6.0 - "
              "18.0 turns/sec");
    EXPECT_EQ(parse_assignments({"speed=25.55"}).error().message,
              "speed takes one decimal place, not '25.55'. Possible values for speed: 6.0 - "
              "18.0 turns/sec");
    EXPECT_EQ(parse_assignments({"speed=18.5"}).error().message,
              "Possible values for speed: 6.0 - 18.0 turns/sec");
    EXPECT_EQ(parse_assignments({"speed=12,5x"}).error().message,
              "Possible values for speed: 6.0 - 18.0 turns/sec");
    EXPECT_EQ(parse_assignments({"serial_number=1"}).error().message,
              "serial_number is the scanner's own and cannot be set");
    EXPECT_EQ(parse_assignments({"speed=10", "speed=11"}).error().message, "speed is given twice");
}

TEST(FieldValues, JsonNumbersAreWrittenAsTheirText) {
    // Every wire value of every field with decimals: the JSON number reads as value_text.
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (f.display != link::ParaDisplay::tenths) {
            continue;
        }
        for (std::uint32_t v = 0; v <= 0xFFFF; ++v) {
            ASSERT_EQ(json_value(f, v), value_text(f, v)) << f.name << " " << v;
        }
    }
    const auto* speed = link::find_para_field("speed");
    EXPECT_EQ(json_value(*speed, 100), "10.0");
    EXPECT_EQ(json_value(*speed, 123), "12.3");
    EXPECT_EQ(json_value(*link::find_para_field("can_identifier"), 0x7FF), "2047");
    EXPECT_EQ(json_value(*link::find_para_field("serial_number"), 1223476), "1223476");
    EXPECT_EQ(json_value(*link::find_para_field("resolution"), 5), "65536");
    EXPECT_EQ(json_value(*link::find_para_field("resolution"), 6), "null"); // out of the list
    EXPECT_EQ(json_value(*link::find_para_field("motor_enable"), 0), "false");
}

TEST(FieldValues, NamedValuesAsLinesOrOneJsonObject) {
    NamedValues p;
    const std::string odd = "say \"hi\"\\ C:\\tmp\ttab\nline\x01\x7F end";
    p.add("type", "YA", "YA");
    p.add(*link::find_para_field("speed"), 125);
    p.add("note \"1\"", odd, odd);
    p.add("index", "300", 300);
    std::ostringstream out;
    p.print(out, true);
    const std::string json = out.str();
    ASSERT_TRUE(json.ends_with("}\n"));
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << json;
    EXPECT_TRUE(json.starts_with("{\"type\":\"YA\",\"speed\":12.5,\"note \\\"1\\\"\":")) << json;
    const auto back = nlohmann::ordered_json::parse(json);
    EXPECT_EQ(back.at("note \"1\"").get<std::string>(), odd);
    EXPECT_EQ(back.at("index").get<int>(), 300);
    std::vector<std::string> keys;
    for (const auto& [key, value] : back.items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"type", "speed", "note \"1\"", "index"}));

    std::ostringstream text;
    p.print(text, false);
    EXPECT_EQ(text.str(), "type = YA\nspeed = 12.5\nnote \"1\" = " + odd + "\nindex = 300\n");
}

TEST(StderrLog, OneStampedLineFromTheLevelAskedFor) {
    using namespace std::chrono;
    // 2026-12-09 12:04:33.120 UTC
    const system_clock::time_point t =
        sys_days{year{2026} / December / 9} + 12h + 4min + 33s + 120ms;
    EXPECT_EQ(log_line(t, ui::LogLevel::debug, "trx.flash", "EraseFlash: sector 3\n"),
              "12:04:33.120 trx.flash debug: EraseFlash: sector 3\n");
    EXPECT_EQ(
        log_line(t + 11h + 55min + 26s + 879ms, ui::LogLevel::warning, "trx.link", "two\nlines"),
        "23:59:59.999 trx.link warning: two lines\n");
    EXPECT_EQ(log_line(sys_days{year{1999} / 1 / 1} + 7ms, ui::LogLevel::info, "trx.cli", ""),
              "00:00:00.007 trx.cli info: \n");

    std::ostringstream err;
    StderrLog log(err, ui::LogLevel::info, [t] { return t; });
    EXPECT_FALSE(log.enabled(ui::LogLevel::debug, "trx.flash"));
    EXPECT_TRUE(log.enabled(ui::LogLevel::info, "trx.flash"));
    EXPECT_TRUE(log.enabled(ui::LogLevel::warning, "anything"));
    log.write(ui::LogLevel::debug, "trx.flash", "not shown");
    log.write(ui::LogLevel::info, "trx.flash", "shown");
    EXPECT_EQ(err.str(), "12:04:33.120 trx.flash info: shown\n");
}

TEST(StderrLog, LinesFromSeveralThreadsStayWhole) {
    std::ostringstream err;
    StderrLog log(err, ui::LogLevel::debug, [] { return std::chrono::system_clock::time_point{}; });
    constexpr int k_threads = 4;
    constexpr int k_lines = 500;
    const std::string text(200, 'x');
    std::vector<std::thread> threads;
    for (int i = 0; i < k_threads; ++i) {
        threads.emplace_back([&log, &text, i] {
            for (int n = 0; n < k_lines; ++n) {
                log.write(ui::LogLevel::debug, "trx.t" + std::to_string(i), text);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    std::istringstream lines(err.str());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_TRUE(line.starts_with("00:00:00.000 trx.t")) << line;
        ASSERT_TRUE(line.ends_with(" debug: " + text)) << line;
        ASSERT_EQ(line.size(), 18 + 1 + 8 + text.size()) << line;
    }
    EXPECT_EQ(count, k_threads * k_lines);
}

TEST(TurnLines, JsonAndCsvOfOneTurn) {
    service::Turn t;
    t.t_ms = 52;
    t.resolution = 8192;
    t.temperature = -3;
    t.status_word = 3;
    link::Stripe s;
    s.record = {100, 20, 11};
    s.end = 120;
    s.tag_width = 312;
    s.tag_angle = 8156;
    t.stripes = {s};
    std::string json;
    append_turn(json, t, TurnFormat::json);
    EXPECT_EQ(json, "{\"t_ms\":52,\"resolution\":8192,\"temperature\":-3,\"speed_ok\":true,"
                    "\"temperature_low\":true,\"heater_active\":false,\"stripes\":[{\"start\":100,"
                    "\"end\":120,\"width\":20,\"gap\":null,\"code\":11,\"tag_width\":312,"
                    "\"tag_angle\":8156}]}\n");
    std::string csv;
    append_turn(csv, t, TurnFormat::csv);
    EXPECT_EQ(csv, "52,8192,-3,1,1,0,1,100,120,20,,11,312,8156\n");
}

} // namespace
} // namespace trx::cli
