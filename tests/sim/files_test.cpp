// The simulator's own texts: scene files, state files, decimal values and the command line.
#include "sim/fixed_text.hpp"
#include "sim/options.hpp"
#include "sim/setup.hpp"
#include "sim/state_file.hpp"

#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace trx::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;

TEST(FixedText, ReadsDecimalsWithPointOrCommaScaled) {
    EXPECT_EQ(parse_fixed("12.5", 3), 12500);
    EXPECT_EQ(parse_fixed("12,5", 3), 12500);
    EXPECT_EQ(parse_fixed("359.999", 3), 359999);
    EXPECT_EQ(parse_fixed("7", 0), 7);
    EXPECT_EQ(parse_fixed(".5", 1), 5);
    EXPECT_EQ(parse_fixed("0.000001", 6), 1);
    for (std::string_view bad : {"", ".", "-1", "1.2.3", "1,2.3", "0.0005", " 1", "1e3", "2x"}) {
        EXPECT_EQ(parse_fixed(bad, 3), std::nullopt) << bad;
    }
    EXPECT_EQ(parse_fixed("99999999999999", 6), std::nullopt) << "too large to scale";
}

// --- scene --------------------------------------------------------------------------------

TEST(SceneFile, ReadsStripesTagsAndSettings) {
    const auto r = parse_scene("# a scene\n"
                               "jitter 0\n"
                               "temperature -5   # cold\n"
                               "\n"
                               "stripe 10 1.5\n"
                               "stripe 20,25 0.5 7\r\n"
                               "tag 359.5 0.4 0.3 0.6 42\n");
    ASSERT_TRUE(r.scene) << r.error;
    const Scene& s = *r.scene;
    EXPECT_EQ(s.jitter, 0);
    EXPECT_EQ(s.temperature, -5);
    const std::vector<SceneStripe> expected = {
        {10'000, 1'500, 0}, {20'250, 500, 7, 7}, {359'500, 400, 0, 42}, {200, 600, 42, 42}};
    EXPECT_EQ(s.stripes, expected) << "the tag's second stripe wraps past zero";
}

TEST(SceneFile, ReportsTheFirstBadLine) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"stripe 10 1\nstripes 1 2\n", "line 2: unknown keyword \"stripes\""},
        {"stripe 360 1\n", "line 1: angles are degrees"},
        {"stripe 10 0\n", "line 1: angles are degrees"},
        {"stripe 10\n", "line 1: stripe needs"},
        {"stripe 10 1 256\n", "line 1: a code is"},
        {"tag 10 1 1 1 0\n", "line 1: a tag's code"},
        {"tag 10 200 100 60 1\n", "line 1: a tag must be narrower"},
        {"tag 10 1 1 1\n", "line 1: tag needs"},
        {"jitter -1\n", "line 1: jitter is"},
        {"temperature 129\n", "line 1: temperature is"},
        {"\n\ntemperature\n", "line 3: temperature needs one value"},
    };
    for (const auto& [text, error] : cases) {
        const auto r = parse_scene(text);
        EXPECT_FALSE(r.scene) << text;
        EXPECT_EQ(r.error.substr(0, error.size()), error) << r.error;
    }
    std::string crowded;
    for (int i = 0; i < 30; ++i) {
        crowded += "tag " + std::to_string(i * 10) + " 1 1 1 1\n";
    }
    EXPECT_TRUE(parse_scene(crowded).scene) << "60 stripes fit";
    const auto r = parse_scene(crowded + "stripe 355 1\n");
    EXPECT_EQ(r.error, "line 31: more than 60 stripes");
}

TEST(SceneFile, StripesScaleToTheResolutionAndSortByAngle) {
    Scene s;
    s.stripes = {{180'000, 1'000, 5}, {90'000, 10, 0}, {5'000, 2'000, 9}};
    const auto at_8192 = scene_records(s, 8192, ScannerType::ya);
    const std::vector<Record> expected_8192 = {{114, 46, 9}, {2048, 1, 0}, {4096, 23, 5}};
    EXPECT_EQ(at_8192, expected_8192) << "no stripe narrower than one increment";
    const auto at_65536 = scene_records(s, 65536, ScannerType::za);
    const std::vector<Record> expected_65536 = {{910, 364, 0}, {16384, 2, 0}, {32768, 182, 0}};
    EXPECT_EQ(at_65536, expected_65536) << "no codes for ZA";

    s.jitter = 3;
    std::mt19937 rng(1);
    bool moved = false;
    for (int turn = 0; turn < 50; ++turn) {
        const auto recs = turn_records(s, 8192, ScannerType::ya, rng);
        ASSERT_EQ(recs.size(), 3U);
        for (std::size_t i = 0; i < recs.size(); ++i) {
            EXPECT_LE(std::abs(recs[i].start - expected_8192[i].start), 3);
            EXPECT_GE(recs[i].width, 1);
            EXPECT_LE(std::abs(recs[i].width - expected_8192[i].width), 3);
            moved = moved || recs[i] != expected_8192[i];
        }
    }
    EXPECT_TRUE(moved);

    // A stripe jittered below angle zero wraps to the end of the turn and is sent last.
    s.stripes = {{0, 2'000, 0}, {90'000, 1'000, 0}};
    bool wrapped = false;
    for (int turn = 0; turn < 50; ++turn) {
        const auto recs = turn_records(s, 8192, ScannerType::ya, rng);
        EXPECT_TRUE(recs[0].start < recs[1].start);
        wrapped = wrapped || recs[1].start > 8000;
        EXPECT_LT(recs[1].start, 8192);
    }
    EXPECT_TRUE(wrapped);
}

// --- state --------------------------------------------------------------------------------

TEST(StateFile, RoundTripsAndKeepsWhatItDoesNotName) {
    SimState s;
    s.params.serial = 4294967295U;
    s.params.speed = 181; // out of range on purpose: the program must report it
    s.params.can_baudrate = 255;
    s.index = 65535;
    const auto back = parse_state(format_state(s), SimState{});
    ASSERT_TRUE(back.state) << back.error;
    EXPECT_EQ(*back.state, s);

    const auto partial = parse_state("# only two\nindex 7\n  speed\t150  \n", s);
    ASSERT_TRUE(partial.state) << partial.error;
    EXPECT_EQ(partial.state->index, 7);
    EXPECT_EQ(partial.state->params.speed, 150);
    EXPECT_EQ(partial.state->params.serial, s.params.serial);
}

TEST(StateFile, RejectsUnknownKeysAndValuesThatDoNotFit) {
    EXPECT_EQ(parse_state("index 1\nversion 110\n", {}).error, "line 2: unknown key \"version\"");
    EXPECT_EQ(parse_state("index 65536\n", {}).error,
              "line 1: index needs a whole number from 0 to 65535");
    EXPECT_EQ(parse_state("can_baudrate 256\n", {}).error,
              "line 1: can_baudrate needs a whole number from 0 to 255");
    EXPECT_FALSE(parse_state("speed -1\n", {}).state);
    EXPECT_FALSE(parse_state("speed\n", {}).state);
}

TEST(StateFile, SavedFileIsLoadedAgainAndAMissingOneGivesTheDefaults) {
    TempDir dir;
    const auto file = dir.path / "state.txt";
    SimState base;
    base.index = 3;
    const auto missing = load_state(file, base);
    ASSERT_TRUE(missing.state);
    EXPECT_EQ(*missing.state, base);

    SimState s;
    s.params.gap_correction = 150;
    s.index = 300;
    EXPECT_EQ(save_state(file, s), "");
    EXPECT_FALSE(fs::exists(dir.path / "state.txt.tmp"));
    const auto loaded = load_state(file, SimState{});
    ASSERT_TRUE(loaded.state) << loaded.error;
    EXPECT_EQ(*loaded.state, s);

    EXPECT_NE(save_state(dir.path / "no" / "such" / "folder", s), "");
    dir.write("bad.txt", "index x\n");
    EXPECT_EQ(load_state(dir.path / "bad.txt", {}).error,
              (dir.path / "bad.txt").string() +
                  ": line 1: index needs a whole number from 0 to 65535");
}

// --- command line -------------------------------------------------------------------------

OptionsResult parse(std::initializer_list<std::string_view> args) {
    return parse_options(args);
}

TEST(CommandLine, ReadsEveryOption) {
    const auto r = parse({"--type",  "ZA",
                          "--scene", "s.txt",
                          "--state", "st.txt",
                          "--link",  "/tmp/ttyTRX",
                          "--pace",  "--bad-checksum-rate",
                          "0.05",    "--garbage-rate",
                          "1",       "--drop-rate",
                          "0,5",     "--silence-after",
                          "2.5",     "--silence-for",
                          "1",       "--seed",
                          "42",      "--flash",
                          "f.bin",   "--cable-max-baud",
                          "230400"});
    ASSERT_TRUE(r.options) << r.error;
    const Options& o = *r.options;
    EXPECT_EQ(o.type, ScannerType::za);
    EXPECT_EQ(o.scene_file, "s.txt");
    EXPECT_EQ(o.state_file, "st.txt");
    EXPECT_EQ(o.link, "/tmp/ttyTRX");
    EXPECT_EQ(o.flash_file, "f.bin");
    EXPECT_TRUE(o.pace);
    EXPECT_EQ(o.faults.bad_checksum_ppm, 50'000U);
    EXPECT_EQ(o.faults.garbage_ppm, 1'000'000U);
    EXPECT_EQ(o.faults.drop_ppm, 500'000U);
    EXPECT_EQ(o.faults.silence_after, 2500ms);
    EXPECT_EQ(o.faults.silence_for, 1000ms);
    EXPECT_EQ(o.seed, 42U);
    EXPECT_EQ(o.cable_max_baud, 230400U);

    const auto defaults = parse({});
    ASSERT_TRUE(defaults.options);
    EXPECT_EQ(defaults.options->type, ScannerType::ya);
    EXPECT_FALSE(defaults.options->pace);
    EXPECT_FALSE(defaults.options->quiet);
    const auto quiet = parse({"--quiet"});
    ASSERT_TRUE(quiet.options);
    EXPECT_TRUE(quiet.options->quiet);
    EXPECT_FALSE(defaults.options->faults.silence_after);
    EXPECT_TRUE(parse({"--pace", "--help"}).help);
}

TEST(CommandLine, SaysWhatIsWrong) {
    const std::pair<std::vector<std::string_view>, std::string_view> cases[] = {
        {{"--type", "XA"}, "--type needs ZA or YA"},
        {{"--drop-rate", "1.5"}, "--drop-rate needs a share from 0 to 1, such as 0.05"},
        {{"--garbage-rate", "-0.1"}, "--garbage-rate needs a share"},
        {{"--silence-after", "soon"}, "--silence-after needs a number of seconds"},
        {{"--silence-for", "1"}, "--silence-for needs --silence-after"},
        {{"--seed", "4294967296"}, "--seed needs a whole number"},
        {{"--scene"}, "--scene needs a value"},
        {{"--cable-max-baud", "9600"}, "--cable-max-baud needs a rate from 57600"},
        {{"--speed", "10"}, "unknown option \"--speed\" (see --help)"},
    };
    for (const auto& [args, error] : cases) {
        const auto r = parse_options(args);
        EXPECT_FALSE(r.options);
        EXPECT_FALSE(r.help);
        EXPECT_EQ(r.error.substr(0, error.size()), error) << r.error;
    }
    const std::string help = help_text();
    for (std::string_view option :
         {"--type", "--scene", "--state", "--link", "--pace", "--bad-checksum-rate",
          "--garbage-rate", "--drop-rate", "--silence-after", "--cable-max-baud", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(CommandLine, SceneAndStateFilesShapeTheScanner) {
    TempDir dir;
    Options o;
    o.type = ScannerType::za;
    o.scene_file = dir.write("scene.txt", "stripe 90 1\ntemperature 3\n");
    o.state_file = dir.write("state.txt", "index 300\nspeed 150\n");
    auto r = make_config(o);
    ASSERT_TRUE(r.config) << r.error;
    EXPECT_EQ(r.config->type, ScannerType::za);
    EXPECT_EQ(r.config->scene.stripes.size(), 1U);
    EXPECT_EQ(r.config->scene.temperature, 3);
    EXPECT_EQ(r.config->index, 300);
    EXPECT_EQ(r.config->params.speed, 150);
    EXPECT_EQ(r.config->params.serial, ParamSet{}.serial);

    o.scene_file = dir.write("bad.txt", "stripe 90\n");
    r = make_config(o);
    EXPECT_FALSE(r.config);
    EXPECT_EQ(r.error,
              (dir.path / "bad.txt").string() + ": line 1: stripe needs START WIDTH [CODE]");
    o.scene_file = dir.path / "missing.txt";
    EXPECT_EQ(make_config(o).error, "cannot read scene file " +
                                        (dir.path / "missing.txt").string() +
                                        ": No such file or directory");
    // A folder is no scene, nor a state: refused without reading, as a device or a pipe is.
    o.scene_file = dir.path;
    EXPECT_EQ(make_config(o).error, "cannot read scene file " + dir.path.string() +
                                        ": not a regular file (a folder, a device or a pipe)");
    o.scene_file.clear();
    o.state_file = dir.path;
    EXPECT_EQ(make_config(o).error, "cannot read state file " + dir.path.string() +
                                        ": not a regular file (a folder, a device or a pipe)");
}

} // namespace
} // namespace trx::sim
