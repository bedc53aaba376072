// The settings file: the hex file remembered from one run to the next.
#include "file_text.hpp"
#include "main/settings.hpp"
#include "platform/std_files.hpp"
#include "testkit/driver.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trx::testkit {
namespace {

namespace fs = std::filesystem;

// The files of a folder but its "data" folder, which the program's service history creates at
// every start.
long files_beside_data(const fs::path& folder) {
    long n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        n += e.path().filename() == "data" ? 0 : 1;
    }
    return n;
}

// A folder of its own for a test that runs the program more than once.
class SettingsFile : public ::testing::Test {
protected:
    static fs::path unique_root() {
        return fs::temp_directory_path() /
               ("trx81500-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    void SetUp() override {
        fs::remove_all(root_);
        fs::create_directories(program_);
        write_file(hex_, ":00000001FF\r\n");
    }
    void TearDown() override { fs::remove_all(root_); }

    // One run of the program that shows what it read and leaves with Exit.
    std::string run(bool writable, const std::string& choose = {}) {
        Driver d({program_, true, config_, writable});
        d.start();
        std::string shown = d.text("sw_update.hexfilename");
        if (!choose.empty()) {
            d.program().sw_update_form().hexfilename.set_caption(choose);
        }
        d.click("main.Toolbar1.exit");
        EXPECT_TRUE(d.ended());
        return shown;
    }

    fs::path root_ = unique_root();
    fs::path program_ = root_ / "program";
    fs::path config_ = root_ / "config";
    fs::path hex_ = root_ / "firmware v2.h86";
    fs::path ini_ = program_ / "TRX81500.ini";
};

TEST_F(SettingsFile, FirstLineNamesTheHexFileShownInTheUpdateWindow) {
    struct Case {
        const char* what;
        std::string content;
        bool shown;
    };
    const std::string hex = hex_.string();
    const Case cases[] = {
        {"one line", hex + "\r\n", true},
        {"no line end", hex, true},
        {"a second line is ignored", hex + "\r\nC:\\other.h86\r\n", true},
        {"an empty line", "\r\n", false},
        {"an empty file", "", false},
        {"the file named was deleted", (root_ / "deleted.h86").string() + "\r\n", false},
        {"a folder is no hex file", root_.string() + "\r\n", false},
    };
    for (const auto& c : cases) {
        write_file(ini_, c.content);
        Driver d({program_});
        d.start();
        EXPECT_EQ(d.text("sw_update.hexfilename"), c.shown ? hex : "") << c.what;
        EXPECT_FALSE(d.visible("sw_update")) << c.what;
        EXPECT_TRUE(d.messages().empty()) << c.what;
    }
    fs::remove(ini_);
    Driver none({program_});
    none.start();
    EXPECT_EQ(none.text("sw_update.hexfilename"), "");
    EXPECT_TRUE(none.messages().empty());
}

TEST_F(SettingsFile, ExitStoresTheShownPathForTheNextStart) {
    EXPECT_EQ(run(true, hex_.string()), "");
    EXPECT_EQ(file_text(ini_), hex_.string() + "\r\n");
    EXPECT_EQ(run(true), hex_.string());
    // Nothing but the portable marker and the settings file is left in the program folder (no
    // temporary file).
    EXPECT_EQ(files_beside_data(program_), 2);
}

// An installed program's folder takes no files: the settings live in the user's folder.
TEST_F(SettingsFile, AnUnwritableProgramFolderKeepsTheFileInTheUsersFolder) {
    EXPECT_EQ(run(false, hex_.string()), "");
    EXPECT_FALSE(fs::exists(ini_));
    EXPECT_EQ(file_text(config_ / "TRX81500.ini"), hex_.string() + "\r\n");
    EXPECT_EQ(run(false), hex_.string());
}

TEST_F(SettingsFile, TheProgramFoldersFileWinsOverTheUsersOne) {
    const fs::path other = root_ / "other.h86";
    write_file(other, "");
    write_file(config_ / "TRX81500.ini", other.string() + "\r\n");
    write_file(ini_, hex_.string() + "\r\n");
    EXPECT_EQ(run(true), hex_.string());
    // A user's file is still read when the program folder has none.
    fs::remove(ini_);
    EXPECT_EQ(run(false), other.string());
}

// Where Exit writes is where the next start reads: with the program folder not writable an
// old file left there does not hide the user's, so the remembered file keeps changing.
TEST_F(SettingsFile, AnUnwritableProgramFolderReadsTheUsersFileFirst) {
    const fs::path other = root_ / "other.h86";
    write_file(other, "");
    write_file(ini_, "C:\\left\\by\\the\\installer.h86\r\n");
    write_file(config_ / "TRX81500.ini", other.string() + "\r\n");
    EXPECT_EQ(run(false, hex_.string()), other.string());
    EXPECT_EQ(run(false), hex_.string());
}

// What stands where the settings file goes is never followed or waited on: a symlink is
// replaced by the file, not written through; a FIFO or a huge file reads as no settings.
TEST_F(SettingsFile, SymlinksFifosAndHugeFilesDoNoHarm) {
    const fs::path victim = root_ / "victim.txt";
    write_file(victim, "keep me\n");
    fs::create_symlink(victim, ini_);
    EXPECT_EQ(run(true, hex_.string()), "");
    EXPECT_EQ(file_text(victim), "keep me\n");
    EXPECT_FALSE(fs::is_symlink(ini_));
    EXPECT_EQ(file_text(ini_), hex_.string() + "\r\n");

    // The file keeps the mode it had; no temporary file stays behind.
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(run(true, hex_.string()), hex_.string());
    EXPECT_EQ(fs::status(ini_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(files_beside_data(program_), 2);

    fs::remove(ini_);
    ASSERT_EQ(::mkfifo(ini_.c_str(), 0644), 0);
    EXPECT_EQ(run(true), ""); // returns: nothing waits for a writer
    fs::remove(ini_);

    // A gigabyte without a line end: only its first 4096 bytes are read.
    { std::ofstream(ini_, std::ios::binary) << hex_.string(); }
    fs::resize_file(ini_, std::uintmax_t{1} << 30);
    EXPECT_EQ(run(false), "");
}

// An installed program (no portable marker beside it) never writes into its own folder, even
// when that folder would take the file, as it does for root: the user's folder serves.
TEST_F(SettingsFile, AnInstalledProgramKeepsItsSettingsInTheUsersFolderEvenWhenItCouldWrite) {
    DriverOptions installed{program_, true, config_, true};
    installed.portable = false;
    {
        Driver d(installed);
        d.start();
        d.program().sw_update_form().hexfilename.set_caption(hex_.string());
        d.click("main.Toolbar1.exit");
    }
    EXPECT_FALSE(fs::exists(ini_));
    EXPECT_EQ(file_text(config_ / "TRX81500.ini"), hex_.string() + "\r\n");
    // A settings file someone left beside the program is not read either.
    write_file(ini_, (root_ / "deleted.h86").string() + "\r\n");
    Driver again(installed);
    again.start();
    EXPECT_EQ(again.text("sw_update.hexfilename"), hex_.string());
}

TEST(SettingsPlace, APortableMarkerCountsOnlyOutsideTheSystemFolders) {
    struct Case {
        const char* folder;
        bool marker;
        bool beside;
    };
    const fs::path tmp =
        fs::temp_directory_path() / ("trx81500-place-" + std::to_string(::getpid()));
    const Case cases[] = {
        {"/usr/bin", true, false},
        {"/usr/local/bin", true, false},
        {"/opt/trx81500/bin", true, false},
    };
    for (const auto& c : cases) {
        platform::StdFiles files(c.folder, tmp / "config", tmp / "data");
        EXPECT_EQ(main::Settings(files).beside_program(), c.beside) << c.folder;
        EXPECT_EQ(main::Settings(files).write_path(), tmp / "config" / "TRX81500.ini") << c.folder;
    }
    fs::create_directories(tmp / "copy");
    platform::StdFiles copy(tmp / "copy", tmp / "config", tmp / "data");
    EXPECT_FALSE(main::Settings(copy).beside_program());
    write_file(tmp / "copy" / "TRX81500.portable", "");
    EXPECT_TRUE(main::Settings(copy).beside_program());
    EXPECT_EQ(main::Settings(copy).write_path(), tmp / "copy" / "TRX81500.ini");
    fs::remove_all(tmp);
}

TEST_F(SettingsFile, AnUnwritableSettingsFolderIsIgnoredSilently) {
    Driver d({program_, true, config_, false});
    // The user's configuration folder cannot be made: a file stands where it should be.
    write_file(root_ / "config", "not a folder");
    d.start();
    d.program().sw_update_form().hexfilename.set_caption(hex_.string());
    d.click("main.Toolbar1.exit");
    EXPECT_TRUE(d.ended());
    EXPECT_TRUE(d.messages().empty());
    EXPECT_FALSE(fs::exists(ini_));
}

// A write that fails half-way (disk full) leaves the older file whole, never a truncated one.
TEST_F(SettingsFile, AFailedWriteLeavesTheOlderFileAsItWas) {
    write_file(ini_, "C:\\old.h86\r\n");
    Driver d({program_});
    d.start();
    d.program().sw_update_form().hexfilename.set_caption(std::string(4000, 'x'));

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100; // bytes any file may grow to
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    d.click("main.Toolbar1.exit");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_TRUE(d.ended());
    EXPECT_TRUE(d.messages().empty());
    EXPECT_EQ(file_text(ini_), "C:\\old.h86\r\n");
    // The portable marker and the settings file.
    EXPECT_EQ(files_beside_data(program_), 2);
}

} // namespace
} // namespace trx::testkit
