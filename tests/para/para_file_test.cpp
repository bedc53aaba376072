// The "Parameter File" group and the automatic backups, as a technician uses them: a set
// saved and loaded back, bad files refused whole, a comparison, and the backups before a
// store and before a firmware update.
#include "para_fixture.hpp"
#include "parafile/para_file.hpp"
#include "testkit/recorded_dialogs.hpp"

#include "tests/sw_update/fake_flash.hpp"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace trx::para::test {
namespace {

namespace fs = std::filesystem;

std::string file_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_text(const fs::path& p, std::string_view text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The names of every file in a folder, hidden ones (a temporary file) included.
std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct ParaFiles : ParaTest {
    // Online, the window shown, the index read and a "YA" reply in the fields.
    void ready(const std::string& reply = Reply{}.ya()) {
        show_para();
        d.receive(link::build_frame('L', "012C"));
        d.receive(reply);
        ASSERT_TRUE(d.messages().empty());
        keep_alive();
        (void)d.sent();
    }
    fs::path backups() const { return d.data_folder() / "backups" / "1223476"; }
    fs::path path(const char* name) const { return d.program_folder() / name; }

    // Everything the window shows of the settings, by control.
    std::map<std::string, std::string> settings() const {
        std::map<std::string, std::string> out;
        for (const link::ParaFieldDef& f : link::k_para_catalogue) {
            const std::string c = "para." + std::string(f.control);
            switch (f.display) {
            case link::ParaDisplay::tenths:
            case link::ParaDisplay::whole:
                out[c] =
                    d.text(c) + " / " + std::to_string(d.value("para." + std::string(f.spinner)));
                break;
            case link::ParaDisplay::list:
            case link::ParaDisplay::code:
                out[c] = std::to_string(d.selected(c));
                break;
            case link::ParaDisplay::bit:
                out[c] = d.checked(c) ? "checked" : "clear";
                break;
            default:
                out[c] = d.text(c);
            }
        }
        return out;
    }
    void save(const fs::path& p) {
        d.answer_save_dialog(p.string());
        d.click("para.cmd_save_file");
    }
    void load(const fs::path& p) {
        d.answer_file_dialog(p.string());
        d.click("para.cmd_load_file");
    }
    testkit::RecordedDialogs& dialogs() {
        return dynamic_cast<testkit::RecordedDialogs&>(d.program().services().dialogs);
    }
};

TEST_F(ParaFiles, ButtonsWaitForAReply) {
    show_para();
    for (const char* b : {"para.cmd_save_file", "para.cmd_load_file", "para.cmd_compare_file",
                          "para.cmd_backups"}) {
        EXPECT_FALSE(d.enabled(b)) << b;
    }
    d.receive(Reply{}.za());
    for (const char* b : {"para.cmd_save_file", "para.cmd_load_file", "para.cmd_compare_file",
                          "para.cmd_backups"}) {
        EXPECT_TRUE(d.enabled(b)) << b;
    }
    EXPECT_EQ(d.text("para.frame_parameter_file"), "Parameter File");
}

TEST_F(ParaFiles, SaveThenLoadGivesBackTheSameSetAndSendsNothing) {
    ready();
    d.spin("para.speed", 3);
    retype("para.gap_correction_anz", "150");
    d.leave("para.gap_correction_anz");
    d.select("para.can_baudrate", 4);
    d.select("para.rs232_baudrate", -1);
    d.click("para.motor_enable");
    const auto saved = settings();
    save(path("set.trxp"));
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters saved to file");
    ASSERT_EQ(dialogs().save_requests().size(), 1U);
    EXPECT_EQ(fs::path(dialogs().save_requests()[0].initial_path).filename(),
              "1223476-2025-03-01.trxp");
    const std::string text = file_text(path("set.trxp"));
    EXPECT_NE(text.find("speed = 12,8"), std::string::npos) << text;
    EXPECT_NE(text.find("index = 300"), std::string::npos) << text;

    d.spin("para.speed", -10);
    retype("para.gap_correction_anz", "20");
    d.leave("para.gap_correction_anz");
    d.select("para.can_baudrate", 0);
    d.select("para.rs232_baudrate", 2);
    d.click("para.motor_enable");
    ASSERT_NE(settings(), saved);
    load(path("set.trxp"));
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(settings(), saved);
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters loaded from file");
    EXPECT_EQ(d.sent(), "");
    // A loaded value is what a rejected entry falls back to, as after a reply.
    retype("para.gap_correction_anz", "5");
    d.leave("para.gap_correction_anz");
    (void)d.messages();
    EXPECT_EQ(d.text("para.gap_correction_anz"), "150");
}

TEST_F(ParaFiles, LoadRefusesEachBadFileWholeNamingItsLine) {
    ready();
    save(path("good.trxp"));
    const std::string good = file_text(path("good.trxp"));
    d.spin("para.speed", 1); // the window differs from every file below
    const auto before = settings();
    const std::string status = d.text("para.statusbar");
    const fs::path big = path("big.trxp");
    write_text(big, "");
    fs::resize_file(big, 1ULL << 30);

    struct Bad {
        const char* what;
        std::string text;
        std::string said; // what the box must say
    };
    const std::vector<Bad> bad = {
        {"empty", "", "line 1: the file is empty"},
        {"binary",
         std::string("format = trxp 1\n\x7F"
                     "ELF\x01\x00",
                     22),
         "line 2: this is not text"},
        {"truncated", good.substr(0, good.find("gap_correction = 100") + 18),
         "line 23: the file ends without its last line \"end\": it was cut short"},
        {"cut at a line end", good.substr(0, good.find("can_identifier")),
         "line 23: the file ends without its last line \"end\""},
        {"other type", replaced(good, "type = YA", "type = ZA"),
         "line 4, field \"type\": the file holds a ZA set; the connected scanner is a YA"},
        {"duplicate", replaced(good, "\nend", "\nspeed = 10,0\nend"),
         "line 25, field \"speed\": given twice (first in line 11)"},
        {"unknown", replaced(good, "min_modul_angle", "min_module_angle"),
         "line 17, field \"min_module_angle\": no such field"},
        {"out of range", replaced(good, "speed = 12,5", "speed = 18,5"),
         "line 11, field \"speed\": \"18,5\" is not a possible value (Possible Values: 6.0 - "
         "18.0)"},
        {"serial of 11 digits",
         replaced(good, "serial_number = 1223476", "serial_number = 12234760000"),
         "line 5, field \"serial_number\""},
        {"missing", replaced(good, "gap_offset_rel", "# gap_offset_rel"),
         "line 25, field \"gap_offset_rel\": missing"},
    };
    for (const Bad& b : bad) {
        write_text(path("bad.trxp"), b.text);
        load(path("bad.trxp"));
        const auto m = d.messages();
        ASSERT_EQ(m.size(), 1U) << b.what;
        EXPECT_EQ(m[0].title, "Parameter");
        EXPECT_NE(m[0].text.find(b.said), std::string::npos) << b.what << ": " << m[0].text;
        EXPECT_EQ(m[0].detail, path("bad.trxp").string());
        EXPECT_EQ(settings(), before) << b.what;
    }
    load(big);
    EXPECT_NE(refusal().find("1073741824 bytes"), std::string::npos);
    load(d.program_folder());
    EXPECT_NE(refusal().find("not a file"), std::string::npos);
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(d.text("para.statusbar"), status);
    EXPECT_EQ(d.sent(), "");

    // Either decimal separator is read.
    for (const char* speed : {"speed = 9,5", "speed = 9.5"}) {
        write_text(path("point.trxp"), replaced(good, "speed = 12,5", speed));
        load(path("point.trxp"));
        EXPECT_TRUE(d.messages().empty()) << speed;
        EXPECT_EQ(d.text("para.speed_anz"), "9,5") << speed;
        EXPECT_EQ(d.value("para.speed"), 95) << speed;
    }
}

TEST_F(ParaFiles, LoadNeverChangesTheScannersIdentity) {
    ready();
    save(path("mine.trxp"));
    std::string other = file_text(path("mine.trxp"));
    other = replaced(other, "serial_number = 1223476", "serial_number = 99999999");
    other = replaced(other, "version = 1,09", "version = 2,00");
    other = replaced(other, "index = 300", "index = 7");
    other = replaced(other, "speed = 12,5", "speed = 7,0");
    write_text(path("other.trxp"), other);
    load(path("other.trxp"));
    ASSERT_TRUE(d.messages().empty());
    EXPECT_EQ(d.text("para.speed_anz"), "7,0");
    EXPECT_EQ(d.text("para.seriennummer"), "1223476");
    EXPECT_EQ(d.text("para.version"), "1,09");
    EXPECT_EQ(d.text("para.index"), "300");
    EXPECT_EQ(d.text("para.typ"), "YA");
    d.click("para.cmd_send_para");
    EXPECT_EQ(d.sent().substr(2, 16), "0012AB34006D0046");
}

TEST_F(ParaFiles, CompareListsExactlyTheDifferingFields) {
    ready();
    save(path("set.trxp"));
    const auto compare = [this] {
        d.answer_file_dialog(path("set.trxp").string());
        d.click("para.cmd_compare_file");
        const auto m = d.messages();
        EXPECT_EQ(m.size(), 1U);
        EXPECT_EQ(m.at(0).title, "Parameter");
        return m.at(0);
    };
    EXPECT_EQ(compare().text, "The window and the file hold the same parameters.");
    d.spin("para.speed", 1);
    d.click("para.enable_heater");
    d.select("para.can_baudrate", 0);
    const auto before = settings();
    const auto m = compare();
    EXPECT_EQ(m.text, "The window and the file differ in 3 parameters.");
    EXPECT_EQ(m.detail, "speed: window 12,6, file 12,5\n"
                        "enable_heater: window off, file on\n"
                        "can_baudrate: window 50, file 250");
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(d.sent(), "");
}

TEST_F(ParaFiles, AStoreWritesTheReportedSetToABackupFirst) {
    ready();
    d.spin("para.speed", 5); // edited, not reported: not in the backup
    d.click("para.cmd_send_para");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.sent().substr(0, 2), "\x02W");
    const auto names = listing(backups());
    ASSERT_EQ(names.size(), 1U);
    EXPECT_EQ(names[0], "20250301T093001Z-before-store.trxp");
    const auto read = parafile::parse_para_file(file_text(backups() / names[0]));
    ASSERT_TRUE(read.file) << read.refusal.text();
    EXPECT_EQ(read.file->set.speed, 125U);
    EXPECT_EQ(read.file->set.max_modul_angle, 0x123U);
    EXPECT_EQ(read.file->index, 300);

    // Backups... opens this scanner's folder; the backup loads like any file.
    d.answer_file_dialog((backups() / names[0]).string());
    d.click("para.cmd_backups");
    ASSERT_TRUE(d.messages().empty());
    EXPECT_EQ(dialogs().file_requests().back().initial_path, backups().string());
    EXPECT_EQ(d.value("para.speed"), 125);
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters loaded from file");
}

TEST_F(ParaFiles, NoStoreWithoutItsBackup) {
    ready();
    d.disk_full();
    d.click("para.cmd_send_para");
    EXPECT_EQ(refusal(), "Nothing was stored: the backup of the scanner's parameters could not be "
                         "written (No space left on device).");
    EXPECT_EQ(d.sent(), "");
    EXPECT_TRUE(listing(backups()).empty()); // no part of it, no temporary file
    d.disk_full(false);
    d.data_folder_read_only();
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("(Read-only file system)"), std::string::npos);
    EXPECT_EQ(d.sent(), "");
    d.data_folder_read_only(false);
    d.click("para.cmd_send_para");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.sent().substr(0, 2), "\x02W");
}

TEST_F(ParaFiles, NoBackupsYetIsSaidAndSavingCanFail) {
    ready();
    d.click("para.cmd_backups");
    EXPECT_EQ(refusal(), "There is no backup of the scanner 1223476 yet.");
    d.disk_full();
    save(path("set.trxp"));
    EXPECT_EQ(refusal(), "The parameter file was not saved: No space left on device.");
    EXPECT_FALSE(fs::exists(path("set.trxp")));
    d.answer_save_dialog("");
    d.click("para.cmd_save_file"); // cancelled
    EXPECT_TRUE(d.messages().empty());
}

// ---------------------------------------------------------------- firmware update

struct UpdateBackup : ParaFiles {
    std::shared_ptr<sw_update::testing::FakeFlash> lib =
        std::make_shared<sw_update::testing::FakeFlash>();

    void open_update_window() {
        d.flash_library(lib);
        d.click("main.Toolbar1.software");
        // The program reads the file before anything else: a real one, with a reset vector.
        const auto hex = d.program_folder() / "trx81500_v2.h86";
        std::ofstream(hex, std::ios::binary) << ":08000000FA000002E6F0CB005B\r\n:00000001FF\r\n";
        d.answer_file_dialog(hex.string());
        d.click("sw_update.openbutton");
    }
    // The whole run, then the link is back and the scanner reports its set.
    void update_then_reply(const std::string& reply) {
        d.click("sw_update.program");
        d.advance(1000ms);
        ASSERT_TRUE(d.port_open());
        ASSERT_EQ(d.enabled("sw_update.program"), true);
        d.receive(reply);
    }
};

TEST_F(UpdateBackup, FieldsTheFirmwareChangedAreReported) {
    ready();
    open_update_window();
    Reply after;
    after.version = "00C8";
    after.speed = "0064";
    after.gap_correction = "0032";
    update_then_reply(after.ya());
    const auto m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].title, "Parameter");
    EXPECT_NE(m[0].text.find("The firmware update changed 2 parameters."), std::string::npos);
    EXPECT_NE(m[0].text.find("-before-update.trxp"), std::string::npos) << m[0].text;
    EXPECT_EQ(m[0].detail, "speed: before 12,5, now 10,0\ngap_correction: before 100, now 50");
    ASSERT_EQ(listing(backups()).size(), 1U);
    EXPECT_NE(listing(backups())[0].find("-before-update.trxp"), std::string::npos);

    // Only the first reply after the update is compared.
    d.receive(after.ya());
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(UpdateBackup, AnUpdateThatKeepsTheSetSaysNothing) {
    ready();
    open_update_window();
    Reply after;
    after.version = "00C8"; // a new version is what an update is for
    update_then_reply(after.ya());
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(UpdateBackup, NoUpdateWithoutItsBackup) {
    ready();
    open_update_window();
    d.disk_full();
    d.click("sw_update.program");
    EXPECT_NE(refusal().find("The firmware update was not started"), std::string::npos);
    EXPECT_EQ(d.sent(), "");
    d.advance(1000ms);
    EXPECT_TRUE(lib->calls.empty()); // the program checked the file; no library call
    EXPECT_TRUE(d.enabled("sw_update.program"));
    EXPECT_TRUE(d.port_open());
}

} // namespace
} // namespace trx::para::test
