// params export, import and diff, and the backup before every store, in virtual time against
// a scripted scanner on the test kit's port: what goes on the wire, what is written, and what
// is never sent.
#include "cli/backup_hook.hpp"
#include "cli/cli.hpp"
#include "cli/stderr_log.hpp"
#include "link/frame.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/para_file.hpp"
#include "testkit/command_frames.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/faulty_text_files.hpp"
#include "testkit/status_frames.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"
#include "tests/cli/cli_fixture.hpp"
#include "tests/sample_para_set.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace trx::cli {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::FolderTest;
using test::Ran;

link::ParaSet scanners_set() {
    return trx::test::sample_para_set();
}

std::string payload_of(const link::ParaSet& set, bool ya) {
    std::string p;
    for (const auto& f : link::para_fields(set, ya)) {
        p += f;
    }
    return p;
}

// A scanner that keeps the set it was sent: "R" gets it back as "W", a "W" is kept and
// acknowledged with "P" (unless told not to), "L" gets the index. A status frame every
// 100 ms brings the link online.
struct Scanner {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    testkit::VirtualPump pump{clock};
    std::string payload;
    std::uint16_t index = 300;
    bool acknowledges = true;
    testkit::CommandFrames frames{clock, port,
                                  [this](char letter, const std::string& p) { answer(letter, p); }};

    explicit Scanner(bool ya) : payload(payload_of(scanners_set(), ya)) {
        testkit::every(clock, 100ms, [this] { port.inject(testkit::status_frame({})); });
    }
    void answer(char letter, const std::string& frame_payload) {
        std::string reply;
        if (letter == 'R') {
            reply = link::build_frame('W', payload);
        } else if (letter == 'L') {
            reply = link::build_frame('L', num::hex_upper(index, 4));
        } else if (letter == 'W' && acknowledges) {
            payload = frame_payload;
            reply = link::build_frame('P', "");
        }
        if (!reply.empty()) {
            clock.schedule(5ms, [this, reply] { port.inject(reply); });
        }
    }
    [[nodiscard]] link::ParaSet set() const {
        return link::decode_para_reply("W" + payload + "00").set;
    }
    // Whether a "W" command (a store) went out.
    [[nodiscard]] bool stored() const {
        return frames.heard().find(std::string{link::k_stx, 'W'}) != std::string::npos;
    }
};

struct ParamsFile : FolderTest {
    ParamsFile() : FolderTest("trx_cli_file_") {}
    testkit::FaultyTextFiles files;
    std::unique_ptr<parafile::BackupStore> backups;
    OpenLog open_log; // the front's log for --log and -v; none by default

    void SetUp() override {
        FolderTest::SetUp();
        backups = std::make_unique<parafile::BackupStore>(files, dir / "data");
    }

    Ran cli(Scanner& s, std::vector<std::string> args, bool with_backups = true) {
        std::ostringstream out;
        std::ostringstream err;
        args.insert(args.begin(), {"--port", "COM1", "--timeout", "0.5"});
        Cli tool({
            .port = s.port,
            .clock = s.clock,
            .pump = s.pump,
            .now = [&s] { return s.clock.now(); },
            .interrupted = [] { return false; },
            .out = out,
            .err = err,
            .files = files,
            .err_is_terminal = false,
            .devices = nullptr,
            .flash_library = {},
            .backup_before_store =
                with_backups ? backup_before_store(*backups, s.clock) : BackupBeforeStore{},
            .diagnosis = nullptr,
            .open_capture = {},
            .log = nullptr,
            .open_log = open_log,
        });
        const int status = tool.run(args);
        return {status, out.str(), err.str()};
    }
    // A name in the test's folder, or a whole path.
    [[nodiscard]] std::string read(const fs::path& name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    [[nodiscard]] std::vector<fs::path> backups_of_scanner() const {
        return backups->backups(scanners_set().serial_number);
    }
};

// A file of the given type and settings, written by another scanner.
std::string file_text(link::ScannerType type, link::ParaSet set, std::uint16_t index = 7) {
    return parafile::format_para_file({type, set, index, "2024-01-02T03:04:05Z", {}});
}

TEST_F(ParamsFile, ExportWritesTheSetAndIndexThatImportAndDiffReadBack) {
    Scanner ya(true);
    const Ran exported = cli(ya, {"params", "export", path("ya.trxp")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "");
    const auto back = parafile::parse_para_file(read("ya.trxp"));
    ASSERT_TRUE(back.file) << back.refusal.text();
    EXPECT_EQ(back.file->type, link::ScannerType::ya);
    EXPECT_EQ(back.file->set, scanners_set());
    EXPECT_EQ(back.file->index, 300);
    EXPECT_EQ(back.file->saved.substr(0, 10), "2025-03-01"); // the clock's UTC time
    EXPECT_FALSE(ya.stored());

    const Ran same = cli(ya, {"params", "diff", path("ya.trxp")});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "");

    Scanner za(false);
    ASSERT_EQ(cli(za, {"params", "export", path("za.trxp")}).status, 0);
    const std::string za_text = read("za.trxp");
    EXPECT_NE(za_text.find("type = ZA\n"), std::string::npos);
    EXPECT_EQ(za_text.find("can_identifier"), std::string::npos) << za_text;
}

TEST_F(ParamsFile, ImportStoresTheFilesSettingsAndKeepsTheScannersIdentity) {
    Scanner ya(true);
    link::ParaSet other = scanners_set();
    other.serial_number = 999; // another scanner's file, another firmware
    other.version = 200;
    other.speed = 150;
    other.can_identifier = 0x123;
    write("other.trxp", file_text(link::ScannerType::ya, other));

    const Ran diff = cli(ya, {"params", "diff", path("other.trxp")});
    EXPECT_EQ(diff.status, 1);
    // The identity is not compared: only the settings a file can set.
    EXPECT_EQ(diff.out, "speed: scanner 12.5, file 15.0\n"
                        "can_identifier: scanner 0x7FF, file 0x123\n");

    const Ran imported = cli(ya, {"params", "import", path("other.trxp")});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "speed = 15.0\ncan_identifier = 0x123\n");
    link::ParaSet want = scanners_set();
    want.speed = 150;
    want.can_identifier = 0x123;
    EXPECT_EQ(ya.set(), want); // serial number and version as the scanner had them
    EXPECT_EQ(ya.frames.heard().find(std::string{link::k_stx, 'I'}),
              std::string::npos); // index kept

    // The backup holds the set from before the store, with the scanner's index.
    const auto saved = backups_of_scanner();
    ASSERT_EQ(saved.size(), 1U);
    EXPECT_EQ(imported.err, "Backup: " + saved[0].string() + "\n");
    const auto backup = parafile::parse_para_file(read(saved[0]));
    ASSERT_TRUE(backup.file) << backup.refusal.text();
    EXPECT_EQ(backup.file->set, scanners_set());
    EXPECT_EQ(backup.file->index, 300);

    EXPECT_EQ(cli(ya, {"params", "diff", path("other.trxp")}).status, 0);
}

TEST_F(ParamsFile, ABadFileIsRefusedInOneLineAndNothingIsStored) {
    Scanner ya(true);
    link::ParaSet set = scanners_set();
    write("za.trxp", file_text(link::ScannerType::za, set));
    std::string text = file_text(link::ScannerType::ya, set);
    text.replace(text.find("speed = 12,5"), 12, "speed = 20,0");
    write("range.trxp", text);
    write("cut.trxp", text.substr(0, text.size() - 10));

    // Checked before the port: nothing at all goes out.
    const Ran range = cli(ya, {"params", "import", path("range.trxp")});
    EXPECT_EQ(range.status, 2);
    EXPECT_TRUE(range.err.starts_with("trx81500-cli: " + path("range.trxp") +
                                      ": line 11, field \"speed\": \"20,0\" is not a possible "
                                      "value"))
        << range.err;
    EXPECT_EQ(std::count(range.err.begin(), range.err.end(), '\n'), 1);
    EXPECT_EQ(ya.frames.heard(), "");

    const Ran cut = cli(ya, {"params", "diff", path("cut.trxp")});
    EXPECT_EQ(cut.status, 2);
    EXPECT_NE(cut.err.find("it was cut short"), std::string::npos) << cut.err;

    const Ran missing = cli(ya, {"params", "import", path("none.trxp")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "trx81500-cli: cannot read " + path("none.trxp") + ": No such file or directory\n");

    // The other type is told only by the scanner's reply.
    const Ran other_type = cli(ya, {"params", "import", path("za.trxp")});
    EXPECT_EQ(other_type.status, 2);
    EXPECT_EQ(other_type.err, "trx81500-cli: " + path("za.trxp") +
                                  ": line 4, field \"type\": the file holds a ZA set; the "
                                  "connected scanner is a YA; nothing was stored\n");
    EXPECT_EQ(cli(ya, {"params", "diff", path("za.trxp")}).status, 2);
    EXPECT_FALSE(ya.stored());
    EXPECT_TRUE(backups_of_scanner().empty());
    EXPECT_EQ(ya.set(), scanners_set());
}

TEST_F(ParamsFile, NoStoreGoesOutWithoutItsBackup) {
    Scanner ya(true);
    write("ya.trxp", file_text(link::ScannerType::ya, scanners_set()));
    files.set_full(true);
    for (const auto& args : {std::vector<std::string>{"params", "set", "speed=15"},
                             std::vector<std::string>{"params", "import", path("ya.trxp")}}) {
        const Ran r = cli(ya, args);
        EXPECT_EQ(r.status, 7);
        EXPECT_TRUE(r.err.starts_with("trx81500-cli: the backup of the scanner's parameters could "
                                      "not be written to " +
                                      (dir / "data" / "backups" / "1223476").string() + " ("))
            << r.err;
        EXPECT_TRUE(r.err.ends_with("); nothing was stored\n")) << r.err;
    }
    files.set_full(false);
    files.set_read_only(dir / "data");
    EXPECT_EQ(cli(ya, {"params", "set", "speed=15"}).status, 7);
    files.set_read_only({});
    // A front without a backup store stores nothing either.
    const Ran none = cli(ya, {"params", "set", "speed=15"}, false);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "trx81500-cli: no backup of the scanner's parameters can be written in "
                        "this build; nothing was stored\n");
    EXPECT_FALSE(ya.stored());
    EXPECT_TRUE(backups_of_scanner().empty());
    // No partial backup or temporary file was left behind either.
    std::size_t left = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "data")) {
        left += e.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(left, 0U);

    const Ran set = cli(ya, {"params", "set", "speed=15"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(backups_of_scanner().size(), 1U);
    EXPECT_EQ(ya.set().speed, 150U);
}

TEST_F(ParamsFile, AStoreTheScannerDoesNotAcknowledgeEndsWithStatusFive) {
    Scanner ya(true);
    ya.acknowledges = false;
    link::ParaSet changed = scanners_set();
    changed.gap_correction = 150;
    write("ya.trxp", file_text(link::ScannerType::ya, changed));
    const Ran r = cli(ya, {"params", "import", path("ya.trxp")});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("trx81500-cli: the scanner did not acknowledge the parameter set"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(ya.stored());
    EXPECT_EQ(backups_of_scanner().size(), 1U); // written before the "W"
}

TEST_F(ParamsFile, ExportWritesWholeOrNotAtAll) {
    Scanner ya(true);
    write("old.trxp", "old content\n");
    files.set_full(true);
    const Ran full = cli(ya, {"params", "export", path("old.trxp")});
    EXPECT_EQ(full.status, 7);
    EXPECT_EQ(full.err,
              "trx81500-cli: cannot write " + path("old.trxp") + ": No space left on device\n");
    EXPECT_EQ(read("old.trxp"), "old content\n");
    files.set_full(false);

    // A folder is no parameter file: refused before the port, and left as it is.
    const Ran folder = cli(ya, {"params", "export", dir.string()});
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "trx81500-cli: cannot write " + dir.string() +
                              ": it is not a regular file (a folder, a device or a pipe)\n");

    // A set the scanner holds out of range would not load again: not written.
    link::ParaSet wrong = scanners_set();
    wrong.speed = 200;
    ya.payload = payload_of(wrong, true);
    const Ran refused = cli(ya, {"params", "export", path("wrong.trxp")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "trx81500-cli: the scanner's speed is out of range (20.0), so the "
                           "file would not load; nothing was written\n");
    EXPECT_FALSE(fs::exists(dir / "wrong.trxp"));
}

TEST_F(ParamsFile, AReplyThatMakesNoSenseEndsWithStatusEightAndChangesNothing) {
    Scanner odd(true);
    odd.payload = payload_of(scanners_set(), false) + "0000"; // neither a ZA nor a YA set
    const std::string before = odd.payload;
    const Ran set = cli(odd, {"params", "set", "speed=15"});
    EXPECT_EQ(set.status, 8);
    EXPECT_EQ(set.err, "trx81500-cli: the scanner's parameter reply has an unexpected length "
                       "(type \?\?); nothing was stored\n");
    const Ran exported = cli(odd, {"params", "export", path("odd.trxp")});
    EXPECT_EQ(exported.status, 8);
    EXPECT_EQ(exported.err, "trx81500-cli: the scanner's parameter reply has an unexpected "
                            "length (type \?\?); nothing was written\n");
    EXPECT_FALSE(fs::exists(dir / "odd.trxp"));
    EXPECT_FALSE(odd.stored());
    EXPECT_EQ(odd.payload, before);
    EXPECT_TRUE(backups_of_scanner().empty());
    // Reading it is no failure: the reply is shown with a warning, as the window shows it.
    const Ran get = cli(odd, {"params", "get"});
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_TRUE(get.out.starts_with("type = ??\n")) << get.out;
}

TEST_F(ParamsFile, TheLogAskedForGoesToStderrWithTimeAndCategory) {
    Scanner ya(true);
    std::ostringstream log_out;
    std::vector<ui::LogLevel> opened;
    open_log = [&](ui::LogLevel level) {
        opened.push_back(level);
        return std::make_unique<StderrLog>(log_out, level, [] {
            using namespace std::chrono;
            return system_clock::time_point{sys_days{year{2026} / 12 / 9} + 6h + 1min + 2ms};
        });
    };
    EXPECT_EQ(cli(ya, {"params", "export", path("quiet.trxp")}).status, 0);
    EXPECT_TRUE(opened.empty()); // no log without --log or -v

    const Ran logged = cli(ya, {"-v", "params", "export", path("ya.trxp")});
    ASSERT_EQ(logged.status, 0) << logged.err;
    EXPECT_EQ(logged.err, "");
    EXPECT_EQ(opened, std::vector<ui::LogLevel>{ui::LogLevel::info});
    // The tool's own lines and the session's, in the order they happened.
    EXPECT_EQ(log_out.str(), "06:01:00.002 trx.cli info: params export on COM1, time-out 500 ms\n"
                             "06:01:00.002 trx.session info: port COM1 open\n"
                             "06:01:00.002 trx.session info: link up on COM1 after 88 ms\n"
                             "06:01:00.002 trx.cli info: the scanner is online on COM1\n"
                             "06:01:00.002 trx.session info: port COM1 closed\n");

    log_out.str("");
    EXPECT_EQ(cli(ya, {"--log=warning", "index", "get"}).status, 0);
    EXPECT_EQ(log_out.str(), ""); // nothing at warning level
}

} // namespace
} // namespace trx::cli
