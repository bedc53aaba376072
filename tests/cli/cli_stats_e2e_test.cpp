// monitor --stats and replay --stats as a process against a simulator whose tags misbehave
// on purpose: the statistics must find what the scene was told to do.
#include "tests/cli/cli_process.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace {

using namespace cli_e2e;
using nlohmann::json;

// A fast simulator (18 turns/s, kept in a state file) seeing the built-in scene, with `rules`
// when not empty.
std::vector<std::string> sim_with(const fs::path& dir, std::string_view type,
                                  const std::string& rules) {
    std::ofstream(dir / "fast.state") << "speed 180\n";
    if (rules.empty()) {
        return sim(type, dir / "fast.state");
    }
    const fs::path scene = dir / "scene.txt";
    std::ofstream(scene) << rules;
    return sim(type, dir / "fast.state") +
           std::vector<std::string>{"--sim-arg", "--scene", "--sim-arg", scene.string()};
}

const json& tag(const json& report, int code) {
    for (const json& t : report.at("tags")) {
        if (t.at("code") == code) {
            return t;
        }
    }
    throw std::out_of_range("no code " + std::to_string(code) + " in " + report.dump());
}

TEST_F(Cli, MonitorStatsFindsTheShareOfTurnsInWhichATagIsMissed) {
    const Outcome r =
        cli(sim_with(dir, "YA", "miss 33 0.25\nwander 55 1\n") +
            std::vector<std::string>{"monitor", "--stats", "--turns", "120", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json report = json::parse(r.out);
    EXPECT_EQ(report.at("turns"), 120);
    EXPECT_EQ(report.at("partial"), false);
    EXPECT_NEAR(tag(report, 33).at("read_rate").get<double>(), 0.75, 0.02) << r.out;
    EXPECT_EQ(tag(report, 33).at("duplicates"), 0);
    for (const int steady : {11, 22, 44, 66}) {
        EXPECT_DOUBLE_EQ(tag(report, steady).at("read_rate").get<double>(), 1.0) << steady;
        EXPECT_LT(tag(report, steady).at("angle_sd").get<double>(), 3) << steady;
    }
    // Tag 11 spans angle 0: its mean stays there, not half a turn away.
    const double a11 = tag(report, 11).at("angle_mean").get<double>();
    EXPECT_TRUE(a11 > 8150 || a11 < 40) << a11;
    // One degree is about 23 increments: a uniform spread of that has a deviation near 13.
    EXPECT_GT(tag(report, 55).at("angle_sd").get<double>(), 8);
    EXPECT_NEAR(report.at("turn_rate").at("mean").get<double>(), 18, 1);
    EXPECT_EQ(report.at("temperature").at("mean"), 21);
}

TEST_F(Cli, ReplayStatsCoverAWholeCaptureAndAZaScannerHasNoTagTable) {
    const fs::path file = dir / "gone.trxcap";
    const Outcome rec = cli(sim_with(dir, "YA", "vanish 22 1\n") +
                            std::vector<std::string>{"record", file.string(), "--seconds", "3"});
    ASSERT_EQ(rec.status, 0) << rec.err;
    const Outcome r = cli({"replay", file.string(), "--stats", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json report = json::parse(r.out);
    EXPECT_GE(report.at("turns").get<int>(), 35);
    EXPECT_EQ(report.at("partial"), true); // fewer turns than the largest window
    EXPECT_LT(tag(report, 22).at("read_rate").get<double>(), 0.5);
    bool lost = false;
    for (const json& e : report.at("events")) {
        lost = lost || (e.at("kind") == "lost" && e.at("code") == 22);
    }
    EXPECT_TRUE(lost) << r.out;

    const Outcome csv =
        cli(sim_with(dir, "ZA", "") +
            std::vector<std::string>{"monitor", "--stats", "--turns", "5", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, "code,seen,read_rate,duplicates,angle_mean,angle_sd,width_mean,width_sd,"
                       "last_seen\n");
    const Outcome text = cli(sim_with(dir, "ZA", "") +
                             std::vector<std::string>{"monitor", "--stats", "--turns", "5"});
    EXPECT_NE(text.out.find("A \"ZA\" scanner sends no tag codes"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("stripes       min 18.00"), std::string::npos) << text.out;

    const Outcome bad = cli({"replay", file.string(), "--turns", "5"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "trx81500-cli: replay takes --turns only with --stats\n");
}

} // namespace
