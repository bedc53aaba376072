// flash on several ports: the command line's ports, what each child is asked to do, and how
// their JSON lines and error lines become the progress lines and the summary.
#include "cli/command_line.hpp"
#include "cli/fleet.hpp"

#include <gtest/gtest.h>

namespace trx::cli {
namespace {

CommandLine parsed(const std::vector<std::string>& args) {
    auto line = parse_command_line(args);
    EXPECT_TRUE(line) << line.error().message;
    return line ? *line : CommandLine{};
}

TEST(FleetCommandLine, SeveralPortsOrSimulatorsMakeARunSideBySide) {
    const CommandLine two =
        parsed({"--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB1", "flash", "fw.h86", "--force"});
    EXPECT_EQ(two.global.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_TRUE(is_fleet(two));
    EXPECT_FALSE(check_fleet(two));

    const CommandLine sims = parsed({"--sim", "4", "flash", "fw.h86"});
    EXPECT_EQ(sims.global.sims, 4);
    EXPECT_TRUE(is_fleet(sims));

    // One port or one simulator stays the run it always was.
    const CommandLine one = parsed({"--sim", "flash", "fw.h86"});
    EXPECT_EQ(one.global.sims, 1);
    EXPECT_TRUE(one.global.sim);
    EXPECT_FALSE(is_fleet(one));
    const CommandLine single = parsed({"--port", "COM2", "info"});
    EXPECT_EQ(single.global.port, "COM2");
    EXPECT_FALSE(is_fleet(single));
    EXPECT_FALSE(check_fleet(single));
}

TEST(FleetCommandLine, WhatASideBySideRunRefuses) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--port", "A", "--port", "B", "info"}, "several ports are for flash only"},
        {{"--sim", "2", "monitor"}, "several ports are for flash only"},
        {{"--port", "A", "--port", "B", "flash", "--verify", "f.h86"},
         "--verify and --read run on one port"},
        {{"--port", "A", "--port", "A", "flash", "f.h86"}, "a port is given twice"},
        {{"--port", "1", "--port", "2", "--port", "3", "--port", "4", "--port", "5",
          "--port", "6", "--port", "7", "--port", "8", "--port", "9", "flash",  "f.h86"},
         "flash updates at most 8 ports at once"},
    };
    for (const auto& [args, message] : bad) {
        const CommandLine line = parsed(args);
        const auto error = check_fleet(line);
        ASSERT_TRUE(error) << message;
        EXPECT_EQ(error->message, message);
    }
    for (const std::string n : {"0", "9", "12345678901234567890"}) {
        const auto line = parse_command_line({"--sim", n, "flash", "f.h86"});
        ASSERT_FALSE(line) << n;
        EXPECT_EQ(line.error().message, "--sim takes a count from 1 to 8, not '" + n + "'");
    }
    const auto word = parse_command_line({"--sim", "x2", "flash", "f.h86"});
    ASSERT_FALSE(word);
    EXPECT_EQ(word.error().message, "unknown command 'x2' (see trx81500-cli --help)");
}

TEST(FleetCommandLine, EachChildRunsFlashWithJsonOnItsPortWithTheOptionsGiven) {
    const CommandLine line = parsed({"--timeout", "0.25", "--port", "A", "--port", "B", "flash",
                                     "--max-baud", "115200", "--force", "--", "-odd.h86"});
    const auto args = child_arguments(line, "B");
    const std::vector<std::string> expected{"--port", "B",      "--timeout", "0.250",
                                            "flash",  "--json", "--force",   "--max-baud",
                                            "115200", "--",     "-odd.h86"};
    EXPECT_EQ(args, expected);
}

TEST(FleetPortState, JsonLinesBecomeTheProgressLineAndTheResult) {
    FleetPortState s;
    s.port = "/dev/pts/7";
    EXPECT_EQ(s.progress_line(), "/dev/pts/7      starting");
    EXPECT_TRUE(s.take_json_line(R"({"event":"phase","port":"/dev/pts/7","phase":"erase"})"));
    EXPECT_TRUE(s.take_json_line(R"({"event":"rate","port":"/dev/pts/7","baud":230400})"));
    EXPECT_TRUE(s.take_json_line(R"({"event":"progress","port":"/dev/pts/7","phase":"program",)"
                                 R"("done":3000,"total":12000,"seconds_left":42.4})"));
    EXPECT_EQ(s.progress_line(), "/dev/pts/7      program  25 %  0:43 left  230400 baud");
    EXPECT_FALSE(s.take_json_line("Erasing 10 %")) << "not JSON";
    EXPECT_FALSE(s.take_json_line("[1,2]")) << "not an object";

    EXPECT_TRUE(s.take_json_line(
        R"({"event":"result","port":"/dev/pts/7","ok":true,"serial_number":4711,)"
        R"("image_crc":"0x12345678","sectors_skipped":2,"duration_s":31.2,"step":null,)"
        R"("reason":null})"));
    s.status = 0;
    EXPECT_EQ(s.progress_line(), "/dev/pts/7      done");
    EXPECT_EQ(summary_table({s}), "port        result  serial      skipped  seconds  reason\n"
                                  "/dev/pts/7  ok      4711        2        31.2\n");
}

TEST(FleetPortState, APortThatNeverOpensFailsWithTheChildsOwnErrorLine) {
    FleetPortState ok;
    ok.port = "A";
    ok.take_json_line(R"({"event":"result","ok":true,"serial_number":1,"sectors_skipped":0,)"
                      R"("duration_s":2.0})");
    ok.status = 0;

    FleetPortState bad;
    bad.port = "/dev/nosuch";
    bad.take_error_line("Programming  40 %");
    bad.take_error_line("trx81500-cli: warning: the scanner gave no parameter set");
    bad.take_error_line("trx81500-cli: cannot open /dev/nosuch: No such file or directory");
    EXPECT_EQ(bad.last_error, "cannot open /dev/nosuch: No such file or directory");
    bad.status = 3;
    bad.reason = bad.last_error;
    EXPECT_EQ(bad.progress_line(),
              "/dev/nosuch     failed: cannot open /dev/nosuch: No such file or directory");

    FleetPortState failed;
    failed.port = "B";
    failed.take_json_line(R"({"event":"result","ok":false,"serial_number":null,)"
                          R"("sectors_skipped":0,"duration_s":4.5,"step":"EraseFlash",)"
                          R"("reason":"the target refused ERASE"})");
    failed.status = 6;
    EXPECT_EQ(failed.reason, "the target refused ERASE");

    EXPECT_EQ(summary_table({ok, bad, failed}),
              "port         result  serial      skipped  seconds  reason\n"
              "A            ok      1           0        2.0\n"
              "/dev/nosuch  failed  -           -        0.0      cannot open /dev/nosuch: No "
              "such file or directory\n"
              "B            failed  -           0        4.5      the target refused ERASE\n");
}

} // namespace
} // namespace trx::cli
