// trx81500-cli flash on several simulators at once, as a process: each port's own result,
// one port that cannot open failing alone, and the JSON lines each with their port.
#include "sim/launcher.hpp"
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <set>
#include <sstream>

namespace {

using namespace cli_e2e;

constexpr const char* k_missing_port = "/dev/trx-no-such-port";

struct FleetCli : Cli {
    fs::path image;
    void SetUp() override {
        Cli::SetUp();
        std::vector<std::uint8_t> bytes(0x400);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 13 + 1);
        }
        image = dir / "fw.h86";
        std::ofstream(image) << hex_file(0, bytes);
    }
    // A simulator the test starts itself, so that a bad port can stand beside it.
    std::string started(std::vector<std::unique_ptr<trx::sim::SimulatorProcess>>& sims) {
        auto& sim = sims.emplace_back(std::make_unique<trx::sim::SimulatorProcess>());
        EXPECT_TRUE(sim->start({"--quiet"}, TRX_SIM_EXE)) << sim->error();
        return sim->device();
    }
};

std::vector<nlohmann::json> json_lines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    return lines;
}

TEST_F(FleetCli, TwoSimulatorsUpdatedSideBySideEndWithATableOfBoth) {
    const Outcome r = cli({"--sim", "2", "flash", image.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream table(r.out);
    std::string header;
    std::getline(table, header);
    EXPECT_TRUE(header.starts_with("port")) << r.out;
    std::string row;
    std::set<std::string> ports;
    while (std::getline(table, row)) {
        std::istringstream words(row);
        std::string port;
        std::string result;
        words >> port >> result;
        EXPECT_EQ(result, "ok") << row;
        ports.insert(port);
    }
    EXPECT_EQ(ports.size(), 2U) << "two simulators, two pseudo-terminals: " << r.out;
}

TEST_F(FleetCli, APortThatCannotOpenFailsAloneAndEachPortHasItsResultLine) {
    std::vector<std::unique_ptr<trx::sim::SimulatorProcess>> sims;
    const std::string a = started(sims);
    const std::string b = started(sims);
    const Outcome r = cli(
        {"--port", a, "--port", k_missing_port, "--port", b, "flash", "--json", image.string()});
    EXPECT_EQ(r.status, 6) << r.err;

    std::map<std::string, nlohmann::json> results;
    std::optional<nlohmann::json> summary;
    for (const nlohmann::json& j : json_lines(r.out)) {
        ASSERT_TRUE(j.is_object()) << r.out;
        if (j["event"] == "summary") {
            summary = j;
            continue;
        }
        ASSERT_TRUE(j.contains("port")) << j.dump();
        if (j["event"] == "result") {
            results[j["port"].get<std::string>()] = j;
        }
    }
    ASSERT_EQ(results.size(), 3U) << r.out;
    EXPECT_EQ(results[a]["ok"], true) << results[a].dump();
    EXPECT_EQ(results[b]["ok"], true) << results[b].dump();
    EXPECT_EQ(results[k_missing_port]["ok"], false);
    EXPECT_EQ(results[k_missing_port]["status"], 3);
    EXPECT_NE(results[k_missing_port]["reason"].get<std::string>().find(k_missing_port),
              std::string::npos)
        << results[k_missing_port].dump();
    ASSERT_TRUE(summary) << r.out;
    EXPECT_EQ((*summary)["succeeded"], 2);
    EXPECT_EQ((*summary)["failed"], 1);
}

} // namespace
