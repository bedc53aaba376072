// flash --json's lines as the update sequence drives them: the rate of the transfer once the
// library chose it, in every progress line after it and in the result.
#include "cli/json_update_report.hpp"
#include "tests/sw_update/fake_flash.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace trx::cli {
namespace {

using sw_update::testing::FakeFlash;

struct JsonRun {
    std::ostringstream out;
    std::chrono::nanoseconds t{0};
    JsonUpdateReport report{out, "/dev/pts/3", [this] { return t; }};
    FakeFlash lib;

    std::vector<nlohmann::json> run() {
        lib.progress_steps = {{0, 4096}, {2048, 4096}, {4096, 4096}};
        service::UpdateSequence sequence(report);
        sequence.begin();
        service::UpdateValues values;
        values.port_name = "/dev/pts/3";
        EXPECT_TRUE(sequence.library_steps(lib, values, "fw.h86"));
        sequence.close(lib);
        JsonUpdateReport::Result done;
        done.ok = true;
        report.result(done);
        std::vector<nlohmann::json> lines;
        std::istringstream in(out.str());
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    }
};

std::vector<nlohmann::json> events(const std::vector<nlohmann::json>& lines,
                                   const std::string& event) {
    std::vector<nlohmann::json> found;
    for (const auto& j : lines) {
        if (j["event"] == event) {
            found.push_back(j);
        }
    }
    return found;
}

TEST(JsonUpdateReport, TheRateChosenAtConnectGoesOutOnceAndInEveryLineAfterIt) {
    JsonRun r;
    r.lib.during = [&r](const std::string& call) {
        if (call == "InitMonitor") {
            r.lib.progress_fn(r.lib.progress_context, {FlashProgress::Phase::rate, 230400, 0});
        }
    };
    const auto lines = r.run();
    const auto rates = events(lines, "rate");
    ASSERT_EQ(rates.size(), 1U) << r.out.str();
    EXPECT_EQ(rates[0]["baud"], 230400);
    EXPECT_EQ(rates[0]["port"], "/dev/pts/3");
    // Before the check phase: it is logged after the step that chose it, InitMonitor.
    const auto rate_at = std::find(lines.begin(), lines.end(), rates[0]);
    const auto check_at = std::find_if(
        lines.begin(), lines.end(), [](const auto& j) { return j.value("phase", "") == "check"; });
    EXPECT_LT(rate_at, check_at) << r.out.str();

    const auto progress = events(lines, "progress");
    ASSERT_FALSE(progress.empty());
    for (const auto& p : progress) {
        EXPECT_EQ(p["baud"], 230400) << p.dump();
        EXPECT_NE(p["phase"], "rate") << "the rate is no phase of the progress";
    }
    EXPECT_EQ(events(lines, "result").at(0)["baud"], 230400);
}

TEST(JsonUpdateReport, AStepDownDuringProgramIsToldAfterItAndTheResultHasTheLastRate) {
    JsonRun r;
    r.lib.during = [&r](const std::string& call) {
        if (call == "InitMonitor") {
            r.lib.progress_fn(r.lib.progress_context, {FlashProgress::Phase::rate, 460800, 0});
        }
        if (call == "ProgramFlash") {
            r.lib.progress_fn(r.lib.progress_context, {FlashProgress::Phase::rate, 230400, 0});
        }
    };
    const auto lines = r.run();
    const auto rates = events(lines, "rate");
    ASSERT_EQ(rates.size(), 2U) << r.out.str();
    EXPECT_EQ(rates[0]["baud"], 460800);
    EXPECT_EQ(rates[1]["baud"], 230400);
    EXPECT_EQ(events(lines, "result").at(0)["baud"], 230400);
}

TEST(JsonUpdateReport, WithoutANegotiatedRateTheLinesSay57600AndNoRateLineComes) {
    JsonRun r;
    const auto lines = r.run();
    EXPECT_TRUE(events(lines, "rate").empty());
    for (const auto& p : events(lines, "progress")) {
        EXPECT_EQ(p["baud"], 57600);
    }
    const auto result = events(lines, "result").at(0);
    EXPECT_EQ(result["baud"], 57600);
    EXPECT_EQ(result["ok"], true);
}

} // namespace
} // namespace trx::cli
