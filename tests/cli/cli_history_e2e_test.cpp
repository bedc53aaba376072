// The service history as the tool records and shows it, against the simulator: every
// operation leaves its entry, a set of the history goes into another scanner, and a history
// file that cannot be written costs the operation nothing and loses no entry.
#include "tests/cli/cli_process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace {

using namespace cli_e2e;
using nlohmann::json;

std::vector<json> json_lines(const std::string& text) {
    std::vector<json> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        out.push_back(json::parse(line));
    }
    return out;
}

std::vector<std::string> kinds(const std::vector<json>& entries) {
    std::vector<std::string> out;
    for (const json& e : entries) {
        out.push_back(e["kind"].get<std::string>());
    }
    return out;
}

struct History : Cli {
    // Without a line's database, whatever the environment of the test run says.
    Outcome run(std::vector<std::string> args) {
        return cli(Invocation{
            std::move(args),
            {{"XDG_CONFIG_HOME", (dir / "config").string()}, {"TRX81500_HISTORY_URL", ""}},
            {},
            {}});
    }
    std::vector<json> list(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"history", "list", "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 0) << o.err;
        return json_lines(o.out);
    }
};

TEST_F(History, EveryOperationLeavesItsEntry) {
    const fs::path state = dir / "ya.state";
    ASSERT_EQ(
        run(sim("YA", state) + std::vector<std::string>{"params", "set", "speed=12,5"}).status, 0);
    ASSERT_EQ(run(sim("YA", state) + std::vector<std::string>{"index", "set", "7"}).status, 0);
    const std::string file = (dir / "a.trxp").string();
    ASSERT_EQ(run(sim("YA", state) + std::vector<std::string>{"params", "export", file}).status, 0);
    ASSERT_EQ(run(sim("YA", state) + std::vector<std::string>{"params", "import", file}).status, 0);

    const auto entries = list();
    EXPECT_EQ(kinds(entries),
              (std::vector<std::string>{"seen", "read", "backup", "store", "read", "index", "seen",
                                        "read", "file_save", "seen", "read", "file_load", "backup",
                                        "store", "read"}));
    for (const json& e : entries) {
        EXPECT_TRUE(e["ok"].get<bool>()) << e;
        EXPECT_TRUE(e["time"].get<std::string>().ends_with("Z")) << e;
        EXPECT_FALSE(e["station"].get<std::string>().empty());
        EXPECT_FALSE(e["user"].get<std::string>().empty());
    }
    const json& store = entries[3];
    EXPECT_EQ(store["serial"], 1223476);
    EXPECT_EQ(store["before"]["speed"], 10.0);
    EXPECT_EQ(store["after"]["speed"], 12.5);
    EXPECT_EQ(store["after"]["can_baudrate"], 250);
    EXPECT_EQ(entries[5]["index"], 7);
    EXPECT_EQ(entries[8]["path"], file);
    // The backup entry links the file the backups folder holds.
    EXPECT_TRUE(fs::exists(entries[2]["path"].get<std::string>()));
    EXPECT_EQ(entries[0]["version"], "1.09");
}

// Each firmware operation that reached the scanner leaves its entry, a refused one none.
TEST_F(History, FirmwareUpdateVerifyAndReadBackAreRecorded) {
    const fs::path fw = dir / "fw.h86";
    std::ofstream(fw) << hex_file(0, sample_firmware(1));
    const fs::path flash = dir / "flash.bin";
    const std::vector<std::string> on_sim{"--sim", "--sim-arg", "--flash", "--sim-arg",
                                          flash.string()};
    const Outcome updated = run(on_sim + std::vector<std::string>{"flash", fw.string()});
    ASSERT_EQ(updated.status, 0) << updated.out << updated.errors();
    const Outcome verified =
        run(on_sim + std::vector<std::string>{"flash", "--verify", fw.string()});
    ASSERT_EQ(verified.status, 0) << verified.out << verified.errors();
    const std::string back = (dir / "back.h86").string();
    ASSERT_EQ(run(on_sim + std::vector<std::string>{"flash", "--read", back, "--range", "0:0x100"})
                  .status,
              0);
    const std::string missing = (dir / "none.h86").string();
    EXPECT_NE(run(on_sim + std::vector<std::string>{"flash", missing}).status, 0);

    std::vector<json> firmware;
    for (const json& e : list()) {
        const std::string kind = e["kind"].get<std::string>();
        if (kind == "update" || kind == "verify" || kind == "read_back") {
            firmware.push_back(e);
        }
    }
    ASSERT_EQ(kinds(firmware), (std::vector<std::string>{"update", "verify", "read_back"}));
    for (const json& e : firmware) {
        EXPECT_TRUE(e["ok"].get<bool>()) << e;
        EXPECT_EQ(e["serial"], 1223476) << e;
    }
    EXPECT_EQ(firmware[0]["image"], fw.string());
    EXPECT_EQ(firmware[1]["image"], fw.string());
    EXPECT_EQ(firmware[2]["image"], "0x000000+256");
    EXPECT_EQ(firmware[0]["identity"], "no identity");
    EXPECT_EQ(firmware[0]["sectors_skipped"], 0);
    EXPECT_GE(firmware[0]["line_baud"].get<int>(), 57600);
    EXPECT_FALSE(firmware[2].contains("identity"));
}

TEST_F(History, ListShowAndExport) {
    const fs::path state = dir / "ya.state";
    ASSERT_EQ(
        run(sim("YA", state) + std::vector<std::string>{"params", "set", "speed=12,5"}).status, 0);
    const auto all = list();
    ASSERT_EQ(all.size(), 5U);
    EXPECT_EQ(list({"--serial", "1223476"}).size(), 5U);
    EXPECT_TRUE(list({"--serial", "1"}).empty());
    EXPECT_TRUE(list({"--since", "2999-01-01"}).empty());
    EXPECT_EQ(list({"--since", "2000-01-01T00:00:00Z"}).size(), 5U);

    const Outcome bad = run({"history", "list", "--since", "yesterday"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--since takes a UTC date"), std::string::npos) << bad.err;

    const Outcome show = run({"history", "show", std::to_string(all[3]["id"].get<int>())});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("kind = store\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("before.speed = 10.0\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("after.speed = 12.5\n"), std::string::npos) << show.out;
    EXPECT_EQ(run({"history", "show", "999"}).status, 2);

    const fs::path csv = dir / "h.csv";
    ASSERT_EQ(run({"history", "export", csv.string()}).status, 0);
    const std::string text = read_file(csv);
    EXPECT_TRUE(text.starts_with("id,time,station,user,program,serial,kind,ok,details\n"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    const Outcome csv_list = run({"history", "list", "--csv"});
    EXPECT_EQ(csv_list.out, text);
}

TEST_F(History, AReplacementScannerGetsItsPredecessorsSet) {
    const fs::path old_state = dir / "old.state";
    ASSERT_EQ(run(sim("YA", old_state) +
                  std::vector<std::string>{"params", "set", "speed=12,5", "can_identifier=0x7FF"})
                  .status,
              0);
    const auto entries = list();
    const std::string store_id = std::to_string(entries[3]["id"].get<int>());

    const fs::path new_state = dir / "new.state";
    const Outcome both =
        run(sim("YA", new_state) +
            std::vector<std::string>{"params", "import", "x.trxp", "--from-history", store_id});
    EXPECT_EQ(both.status, 2);
    const Outcome seen = run(sim("YA", new_state) +
                             std::vector<std::string>{"params", "import", "--from-history",
                                                      std::to_string(entries[0]["id"].get<int>())});
    EXPECT_EQ(seen.status, 2);
    EXPECT_NE(seen.err.find("holds no set"), std::string::npos) << seen.err;
    EXPECT_FALSE(fs::exists(new_state));

    const Outcome imported =
        run(sim("YA", new_state) +
            std::vector<std::string>{"params", "import", "--from-history", store_id});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "speed = 12.5\ncan_identifier = 0x7FF\n");
    EXPECT_NE(imported.err.find("Backup: "), std::string::npos); // stored with a backup first
    const std::string stored = read_file(new_state);
    EXPECT_NE(stored.find("speed 125"), std::string::npos) << stored;

    const Outcome za =
        run(sim("ZA") + std::vector<std::string>{"params", "import", "--from-history", store_id});
    EXPECT_EQ(za.status, 2);
    EXPECT_NE(za.err.find("type YA"), std::string::npos) << za.err;
}

TEST_F(History, ADamagedFileCostsTheStoreNothingAndLosesNoEntry) {
    const fs::path db = dir / "data" / "trx81500" / "history.sqlite";
    fs::create_directories(db.parent_path());
    std::ofstream(db) << std::string(8192, 'x');
    const fs::path state = dir / "ya.state";
    const Outcome set =
        run(sim("YA", state) + std::vector<std::string>{"params", "set", "speed=12,5"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(read_file(state).find("speed 125"), std::string::npos);
    const auto warning = set.err.find("warning: the history is not being written");
    ASSERT_NE(warning, std::string::npos) << set.err;
    EXPECT_EQ(set.err.find("warning", warning + 1), std::string::npos) << "said once";
    EXPECT_TRUE(fs::exists(db.parent_path() / "history-waiting.jsonl"));

    fs::rename(db, dir / "damaged.sqlite"); // put aside for a look, a fresh file next time
    const auto entries = list();
    EXPECT_EQ(kinds(entries),
              (std::vector<std::string>{"seen", "read", "backup", "store", "read"}));
    EXPECT_FALSE(fs::exists(db.parent_path() / "history-waiting.jsonl"));
}

} // namespace
