// The tool's command line and its output formats, without a scanner.
#include "cli/command_line.hpp"
#include "cli/field_values.hpp"
#include "cli/turn_lines.hpp"

#include <gtest/gtest.h>

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
        {{"--sim", "index"}, "index needs one of: get, set"},
        {{"--sim", "scan"}, "unknown command 'scan' (see trx81500-cli --help)"},
    };
    for (const auto& [args, message] : bad) {
        const auto line = parse_command_line(args);
        ASSERT_FALSE(line) << message;
        EXPECT_EQ(line.error().message, message);
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
    EXPECT_EQ(parse_assignments({"speed=12.55"}).error().message,
              "Possible values for speed: 6.0 - 18.0 turns/sec");
    EXPECT_EQ(parse_assignments({"serial_number=1"}).error().message,
              "serial_number is the scanner's own and cannot be set");
    EXPECT_EQ(parse_assignments({"speed=10", "speed=11"}).error().message, "speed is given twice");
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
