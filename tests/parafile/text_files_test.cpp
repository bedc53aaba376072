// Small text files: bounded reads, whole-or-nothing writes, and the backups of the scanners'
// sets with their names and their limit.
#include "parafile/backup_store.hpp"
#include "parafile/text_files.hpp"
#include "testkit/faulty_text_files.hpp"

#include "tests/sim/temp_dir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>

namespace trx::parafile {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::test::TempDir;

const std::chrono::system_clock::time_point k_noon{
    std::chrono::sys_days{std::chrono::year{2025} / 3 / 1}};

TEST(TextFiles, ReadRefusesWhatIsNoSmallRegularFile) {
    TempDir dir;
    TextFiles files;
    const Result<std::string> a = files.read(dir.write("a.trxp", "abc"), 3);
    ASSERT_TRUE(a.ok()) << a.error().message;
    EXPECT_EQ(*a, "abc");
    EXPECT_FALSE(files.read(dir.write("b.trxp", "abcd"), 3).ok());
    // A 1 GB file is refused by its size; nothing of it is read.
    const fs::path big = dir.path / "big.trxp";
    std::ofstream(big).close();
    fs::resize_file(big, 1ULL << 30);
    const Result<std::string> l = files.read(big, k_max_file_bytes);
    ASSERT_FALSE(l.ok());
    EXPECT_EQ(l.error().kind, ErrorKind::bad_input);
    EXPECT_NE(l.error().message.find("1073741824 bytes"), std::string::npos) << l.error().message;
    EXPECT_FALSE(files.read(dir.path, k_max_file_bytes).ok());
    ASSERT_EQ(::mkfifo((dir.path / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(files.read(dir.path / "pipe", k_max_file_bytes).ok()); // and does not hang
    const Result<std::string> missing = files.read(dir.path / "missing", k_max_file_bytes);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, ErrorKind::bad_input);
    EXPECT_EQ(missing.error().message, "No such file or directory");
}

TEST(TextFiles, WritesWholeOrNotAtAll) {
    TempDir dir;
    testkit::FaultyTextFiles files;
    const fs::path p = dir.path / "sub" / "set.trxp";
    ASSERT_TRUE(files.replace(p, "first\n").ok());
    ASSERT_TRUE(files.replace(p, "second\n").ok());
    EXPECT_EQ(*files.read(p, 100), "second\n");
    // A taken name is told apart from a failure, and the file stays as it was.
    const Result<Created> taken = files.create(p, "third\n");
    ASSERT_TRUE(taken.ok()) << taken.error().message;
    EXPECT_EQ(*taken, Created::name_taken);
    EXPECT_EQ(*files.read(p, 100), "second\n");

    files.set_full(true);
    const Result<Done> full = files.replace(p, "fourth\n");
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.error().kind, ErrorKind::local_file);
    EXPECT_EQ(full.error().message, "No space left on device");
    EXPECT_EQ(*files.read(p, 100), "second\n");
    EXPECT_EQ(files.names(p.parent_path()), std::vector<std::string>{"set.trxp"}); // no temp
}

// A rename would put a regular file in place of a device node, a pipe or a link's target
// device: refused, and the name left as it was; a link to a regular file keeps linking.
TEST(TextFiles, ReplaceRefusesWhatIsNoRegularFileAndKeepsALink) {
    TempDir dir;
    TextFiles files;
    const fs::path fifo = dir.path / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.path / "null-link");
    fs::create_directories(dir.path / "folder");
    for (const fs::path& odd : {fifo, dir.path / "null-link", dir.path / "folder"}) {
        const Result<Done> r = files.replace(odd, "set\n");
        ASSERT_FALSE(r.ok()) << odd;
        EXPECT_EQ(r.error().kind, ErrorKind::bad_input) << odd;
        EXPECT_EQ(r.error().message, "it is not a regular file (a folder, a device or a pipe); "
                                     "nothing was written");
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir.path / "null-link"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    ASSERT_TRUE(files.replace(dir.path / "real.trxp", "old\n").ok());
    fs::create_symlink(dir.path / "real.trxp", dir.path / "link.trxp");
    ASSERT_TRUE(files.replace(dir.path / "link.trxp", "new\n").ok());
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.trxp"));
    EXPECT_EQ(*files.read(dir.path / "real.trxp", 100), "new\n");
}

ParaFile scanner(std::uint32_t serial) {
    ParaFile f;
    f.type = link::ScannerType::za;
    f.set.serial_number = serial;
    f.set.speed = 100;
    return f;
}

TEST(BackupStore, NamesByTimeAndReasonOnePerWrite) {
    TempDir dir;
    TextFiles files;
    BackupStore store(files, dir.path);
    const Result<fs::path> a = store.write(scanner(42), BackupReason::before_store, k_noon + 9h);
    const Result<fs::path> b = store.write(scanner(42), BackupReason::before_store, k_noon + 9h);
    const Result<fs::path> c =
        store.write(scanner(42), BackupReason::before_update, k_noon + 9h + 1s);
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    EXPECT_EQ(*a, dir.path / "backups" / "42" / "20250301T090000Z-before-store.trxp");
    EXPECT_EQ(b->filename(), "20250301T090000Z-before-store-2.trxp");
    EXPECT_EQ(store.backups(42), (std::vector<fs::path>{*c, *b, *a}));
    const auto read = parse_para_file(*files.read(*a, k_max_file_bytes));
    ASSERT_TRUE(read.file) << read.refusal.text();
    EXPECT_EQ(read.file->saved, "2025-03-01T09:00:00Z");
    EXPECT_EQ(read.file->set, scanner(42).set);
    EXPECT_TRUE(store.backups(43).empty());
}

TEST(BackupStore, KeepsTheNewestHundredAndLeavesOtherFilesAlone) {
    TempDir dir;
    TextFiles files;
    BackupStore store(files, dir.path);
    const fs::path own = store.folder(7) / "mine.trxp";
    ASSERT_TRUE(files.replace(own, "kept\n").ok());
    // Shaped like a backup, but a name the program never writes: not one of its backups.
    const fs::path zero = store.folder(7) / "20000101T000000Z-before-store-02.trxp";
    ASSERT_TRUE(files.replace(zero, "kept\n").ok());
    for (int i = 0; i < 103; ++i) {
        ASSERT_TRUE(store.write(scanner(7), BackupReason::before_store, k_noon + i * 1s).ok());
    }
    const auto kept = store.backups(7);
    ASSERT_EQ(kept.size(), BackupStore::k_kept);
    EXPECT_EQ(kept.front().filename(),
              BackupStore::backup_name(k_noon + 102s, BackupReason::before_store));
    EXPECT_EQ(kept.back().filename(),
              BackupStore::backup_name(k_noon + 3s, BackupReason::before_store));
    EXPECT_TRUE(fs::exists(own));
    EXPECT_TRUE(fs::exists(zero));
}

TEST(BackupStore, AFailedWriteLeavesNothingBehind) {
    TempDir dir;
    testkit::FaultyTextFiles files;
    BackupStore store(files, dir.path);
    files.set_full(true);
    const Result<fs::path> full = store.write(scanner(5), BackupReason::before_store, k_noon);
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.error().kind, ErrorKind::local_file);
    EXPECT_EQ(full.error().message, "No space left on device");
    EXPECT_TRUE(files.names(store.folder(5)).empty());
    files.set_full(false);
    files.set_read_only(dir.path);
    const Result<fs::path> ro = store.write(scanner(6), BackupReason::before_update, k_noon);
    ASSERT_FALSE(ro.ok());
    EXPECT_EQ(ro.error().kind, ErrorKind::local_file);
    EXPECT_EQ(ro.error().message, "Read-only file system");
}

TEST(BackupStore, KeepsTheFirmwareBesideTheSetsNeverOverAnotherAndNeverPrunesIt) {
    TempDir dir;
    TextFiles files;
    BackupStore store(files, dir.path);
    const Result<fs::path> a = store.write_firmware(42, ":00000001FF\n", k_noon + 9h);
    const Result<fs::path> b = store.write_firmware(42, ":00000001FF\r\n", k_noon + 9h);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(*a, dir.path / "backups" / "42" / "20250301T090000Z-firmware.h86");
    EXPECT_EQ(b->filename(), "20250301T090000Z-firmware-2.h86");
    EXPECT_EQ(*files.read(*a, 100), ":00000001FF\n") << "the second one did not replace it";
    for (int i = 0; i < 101; ++i) {
        ASSERT_TRUE(store.write(scanner(42), BackupReason::before_store, k_noon + i * 1s).ok());
    }
    EXPECT_TRUE(fs::exists(*a)) << "pruning the sets took the firmware";
    EXPECT_TRUE(fs::exists(*b));

    testkit::FaultyTextFiles full;
    BackupStore nowhere(full, dir.path);
    full.set_full(true);
    const Result<fs::path> refused = nowhere.write_firmware(43, ":00000001FF\n", k_noon);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, ErrorKind::local_file);
    EXPECT_TRUE(full.names(nowhere.folder(43)).empty());
}

} // namespace
} // namespace trx::parafile
