// The "History" window as the technician meets it: opened from the diagnostics menu or the
// parameter window for the connected scanner, entries newest first, two sets compared field by
// field, a set loaded into the parameter window without sending it, the time line as CSV.
#include "../para/para_fixture.hpp"

#include "history_window/history_form.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace trx::history_window {
namespace {

using namespace std::chrono_literals;

constexpr const char* k_entries = "history.entries";
constexpr const char* k_comparison = "history.comparison";
constexpr const char* k_serial = "1223476"; // 0x12AB34, the test replies' serial number

struct HistoryWindowTest : para::test::ParaTest {
    // A "W" reply with this speed (hex digits) read into the parameter window.
    void read(const std::string& speed) {
        para::test::Reply r;
        r.speed = speed;
        d.receive(r.ya());
        (void)d.messages();
    }
    // The parameter window shown and two sets read: speed 12,5 first, then 10,0.
    void two_reads() {
        show_para();
        read("007D");
        read("0064");
    }
    std::string entry(int row, int col) { return d.cell(k_entries, row, col); }
    // The kinds of the time line, for a failure's message.
    std::string kinds() {
        std::string all;
        for (int r = 1; !entry(r, col_kind).empty(); ++r) {
            all += entry(r, col_kind) + "(" + entry(r, col_what) + ") ";
        }
        return all;
    }
    void retype(std::string_view box, std::string_view text) {
        d.type(box, std::string(24, '\b'));
        d.type(box, text);
    }
    // The comparison's row of this field; 0 when it has none.
    int comparison_row(std::string_view field) {
        for (int r = 1; r < k_compare_rows; ++r) {
            if (d.cell(k_comparison, r, col_field) == field) {
                return r;
            }
        }
        return 0;
    }
};

TEST_F(HistoryWindowTest, ListsTheConnectedScannersEntriesNewestFirst) {
    two_reads();
    EXPECT_FALSE(d.visible("history"));
    d.choose("main.StatusBar1.diagnostics.history");
    ASSERT_TRUE(d.visible("history"));
    EXPECT_EQ(d.text("history"), "History");
    EXPECT_EQ(d.text("history.serial"), k_serial);
    EXPECT_EQ(entry(1, col_kind), "read");
    EXPECT_EQ(entry(2, col_kind), "read");
    EXPECT_EQ(entry(3, col_kind), "seen");
    EXPECT_EQ(entry(4, col_kind), "");
    EXPECT_EQ(entry(3, col_what), "YA 1.09");
    EXPECT_GT(std::stoll(entry(1, col_id)), std::stoll(entry(2, col_id)));
    EXPECT_GT(std::stoll(entry(2, col_id)), std::stoll(entry(3, col_id)));
    EXPECT_EQ(entry(1, col_ok), "yes");
    EXPECT_FALSE(entry(1, col_station).empty());
    EXPECT_EQ(entry(1, col_time).back(), 'Z');
    EXPECT_EQ(d.text("history.note"), "3 entries of the scanner 1223476");
}

TEST_F(HistoryWindowTest, OpensFromTheParameterFileGroupToo) {
    two_reads();
    d.click("para.cmd_history");
    ASSERT_TRUE(d.visible("history"));
    EXPECT_EQ(entry(3, col_kind), "seen");
}

TEST_F(HistoryWindowTest, ANumberTypedInShowsThatScannerOrSaysWhyNot) {
    two_reads();
    d.choose("main.StatusBar1.diagnostics.history");
    retype("history.serial", "42");
    d.click("history.cmd_show");
    EXPECT_EQ(d.text("history.note"), "The history holds no entry of the scanner 42.");
    EXPECT_EQ(entry(1, col_kind), ""); // the earlier scanner's rows are gone
    EXPECT_FALSE(d.enabled("history.cmd_export"));
    retype("history.serial", "12x");
    d.click("history.cmd_show");
    EXPECT_EQ(d.text("history.note"), "Serial No. must be a whole number from 0 to 4294967295.");
    retype("history.serial", k_serial);
    d.click("history.cmd_show");
    EXPECT_EQ(entry(3, col_kind), "seen");
    EXPECT_TRUE(d.enabled("history.cmd_export"));
}

TEST_F(HistoryWindowTest, ComparesTwoSetsFieldByFieldWithTheCataloguesNames) {
    two_reads();
    d.choose("main.StatusBar1.diagnostics.history");
    retype("history.compare_first", entry(2, col_id));
    retype("history.compare_second", entry(1, col_id));
    d.click("history.cmd_compare");
    EXPECT_TRUE(d.messages().empty());
    const int speed = comparison_row("speed");
    ASSERT_GT(speed, 0);
    EXPECT_EQ(d.cell(k_comparison, speed, col_first), "12,5");
    EXPECT_EQ(d.cell(k_comparison, speed, col_second), "10,0");
    EXPECT_EQ(d.cell(k_comparison, speed, col_differs), "*");
    EXPECT_FALSE(d.cell(k_comparison, speed, col_unit).empty());
    int differing = 0;
    int fields = 0;
    for (int r = 1; r < k_compare_rows; ++r) {
        fields += d.cell(k_comparison, r, col_field).empty() ? 0 : 1;
        differing += d.cell(k_comparison, r, col_differs) == "*" ? 1 : 0;
    }
    EXPECT_EQ(differing, 1);
    EXPECT_EQ(fields, static_cast<int>(link::k_para_field_count)); // the extended set: all
    EXPECT_GT(comparison_row("can_identifier"), 0);
}

TEST_F(HistoryWindowTest, AnEntryWithoutASetOrAnUnknownIdIsRefusedWithItsReason) {
    two_reads();
    d.choose("main.StatusBar1.diagnostics.history");
    retype("history.compare_first", entry(3, col_id)); // "seen"
    retype("history.compare_second", entry(1, col_id));
    d.click("history.cmd_compare");
    auto m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].title, "History");
    EXPECT_EQ(m[0].text, "The entry " + entry(3, col_id) + " (seen) keeps no parameter set.");
    EXPECT_EQ(comparison_row("speed"), 0);
    retype("history.load_id", "999999");
    d.click("history.cmd_load");
    m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text, "The history holds no entry 999999.");
    retype("history.load_id", "");
    d.click("history.cmd_load");
    m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].text, "The loaded entry must be given by its id, a whole number.");
}

TEST_F(HistoryWindowTest, LoadsASetIntoTheParameterWindowAndSendsNothing) {
    two_reads();
    EXPECT_EQ(d.text("para.speed_anz"), "10,0");
    d.choose("main.StatusBar1.diagnostics.history");
    (void)d.sent();
    retype("history.load_id", entry(2, col_id)); // the first read: speed 12,5
    d.click("history.cmd_load");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    EXPECT_EQ(d.sent(), "");
    EXPECT_EQ(d.panel("para.statusbar", 0), "Status:   Parameters loaded from the history");
}

TEST_F(HistoryWindowTest, ExportsTheTimeLineAsCsv) {
    two_reads();
    d.choose("main.StatusBar1.diagnostics.history");
    const auto path = d.program_folder() / "history.csv";
    d.answer_save_dialog(path.string());
    d.click("history.cmd_export");
    EXPECT_TRUE(d.messages().empty());
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], "id,time,station,user,program,serial,kind,ok,details");
    EXPECT_NE(lines[1].find(",read,"), std::string::npos);
    EXPECT_NE(lines[3].find(",seen,"), std::string::npos);
}

TEST_F(HistoryWindowTest, AStoreLeavesItsBackupAndItsAcknowledgedStore) {
    two_reads();
    retype("para.speed_anz", "11,0");
    d.leave("para.speed_anz");
    (void)d.messages();
    d.click("para.cmd_send_para");
    ASSERT_TRUE(d.messages().empty());
    d.receive(link::build_frame('P', ""));
    d.choose("main.StatusBar1.diagnostics.history");
    EXPECT_EQ(entry(1, col_kind), "store");
    EXPECT_EQ(entry(1, col_ok), "yes");
    // The backup written before the store; its place in the time line depends on when the
    // history's thread first opened its file, which virtual time does not order.
    const std::string all = kinds();
    EXPECT_NE(all.find("backup(" + (d.data_folder() / "backups" / k_serial).string()),
              std::string::npos)
        << all;
    // The set the scanner reported last (10,0) against the one sent (11,0).
    retype("history.compare_first", entry(2, col_id));
    retype("history.compare_second", entry(1, col_id));
    d.click("history.cmd_compare");
    const int speed = comparison_row("speed");
    ASSERT_GT(speed, 0);
    EXPECT_EQ(d.cell(k_comparison, speed, col_first), "10,0");
    EXPECT_EQ(d.cell(k_comparison, speed, col_second), "11,0");
}

TEST_F(HistoryWindowTest, AStoreTheScannerNeverAcknowledgedIsRecordedAsFailed) {
    two_reads();
    d.click("para.cmd_send_para");
    (void)d.messages();
    close_port();
    d.choose("main.StatusBar1.diagnostics.history");
    EXPECT_EQ(entry(1, col_kind), "store");
    EXPECT_EQ(entry(1, col_ok), "no");
    EXPECT_NE(entry(1, col_what).find("no \"P\""), std::string::npos) << entry(1, col_what);
}

TEST_F(HistoryWindowTest, IndexWritesAndParameterFilesLeaveTheirEntries) {
    two_reads();
    d.key("para", testkit::ctrl | testkit::alt, 'J'); // service mode: the index may be written
    retype("para.index", "42");
    d.click("para.command_write_index");
    d.receive(link::build_frame('I', ""));
    retype("para.index", "43");
    d.click("para.command_write_index"); // never saved: failed when the next one goes out
    retype("para.index", "44");
    d.click("para.command_write_index");
    d.receive(link::build_frame('I', ""));

    const auto file = std::filesystem::temp_directory_path() /
                      ("trx-history-file-" + std::to_string(::getpid()) + ".trxp");
    d.answer_save_dialog(file.string());
    d.click("para.cmd_save_file");
    d.answer_file_dialog(file.string());
    d.click("para.cmd_load_file");
    ASSERT_TRUE(d.messages().empty());
    std::filesystem::remove(file);

    d.choose("main.StatusBar1.diagnostics.history");
    EXPECT_EQ(entry(1, col_kind), "file_load") << kinds();
    EXPECT_EQ(entry(2, col_kind), "file_save") << kinds();
    EXPECT_NE(entry(1, col_what).find(file.string()), std::string::npos) << entry(1, col_what);
    EXPECT_EQ(entry(3, col_kind), "index") << kinds();
    EXPECT_EQ(entry(3, col_ok), "yes");
    EXPECT_NE(entry(3, col_what).find("44"), std::string::npos) << entry(3, col_what);
    EXPECT_EQ(entry(4, col_kind), "index");
    EXPECT_EQ(entry(4, col_ok), "no");
    EXPECT_NE(entry(4, col_what).find("43"), std::string::npos) << entry(4, col_what);
    EXPECT_EQ(entry(5, col_kind), "index");
    EXPECT_EQ(entry(5, col_ok), "yes");
}

// A data folder that cannot hold the history: the program goes on, and panel 1's tool tip
// says once why the history is not being written.
TEST(HistoryTrouble, PanelOneSaysOnceThatTheHistoryIsNotBeingWritten) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("trx-history-trouble-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto not_a_folder = folder / "data";
    std::ofstream(not_a_folder) << "a file where the data folder should be";
    testkit::DriverOptions options;
    options.data_folder = not_a_folder;
    std::string tip;
    {
        testkit::Driver d(options);
        d.start();
        // The queue finds out on its own thread; the supervision tick shows what it found.
        for (int i = 0; i < 200 && tip.empty(); ++i) {
            std::this_thread::sleep_for(10ms);
            d.advance(500ms);
            tip = d.panel_tooltip("main.StatusBar1", 1);
        }
        EXPECT_EQ(tip.rfind("The history is not being written: ", 0), 0U) << tip;
        d.advance(2s);
        EXPECT_EQ(d.panel_tooltip("main.StatusBar1", 1), tip); // said once, not repeated
        EXPECT_FALSE(d.ended());
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace trx::history_window
