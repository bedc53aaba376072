// The station's SQLite history in a temporary folder: the schema, its migration, every kind of
// entry, and the files it must refuse without losing anything.
#include "history/backup_import.hpp"
#include "history/sqlite_history.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/text_files.hpp"

#include "tests/history/history_test_support.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

namespace trx::history {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

// What the first release wrote: the entries alone, schema version 1.
constexpr const char* k_old_schema = R"sql(
CREATE TABLE entries(id INTEGER PRIMARY KEY AUTOINCREMENT, uid TEXT NOT NULL UNIQUE,
  time TEXT NOT NULL, station TEXT NOT NULL, user_name TEXT NOT NULL, program TEXT NOT NULL,
  serial INTEGER, kind TEXT NOT NULL, ok INTEGER NOT NULL, details TEXT NOT NULL);
INSERT INTO entries(uid, time, station, user_name, program, serial, kind, ok, details)
  VALUES('old-1', '2024-05-01T08:00:00.000Z', 'st0', 'tech', 'trx81500 1.08', 77, 'index', 1,
         '{"index":5}');
PRAGMA user_version = 1;
)sql";

// Runs SQL on a file with a connection of its own, as another program would.
std::string sql_scalar(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    std::string value;
    sqlite3_exec(
        db, sql.c_str(),
        [](void* v, int, char** cols, char**) {
            *static_cast<std::string*>(v) = cols[0] != nullptr ? cols[0] : "";
            return 0;
        },
        &value, nullptr);
    sqlite3_close(db);
    return value;
}

std::unique_ptr<SqliteHistory> opened(const fs::path& file) {
    auto h = SqliteHistory::open(file);
    EXPECT_TRUE(h) << (h ? "" : h.error().message);
    return h ? std::move(h.value()) : nullptr;
}

TEST(SqliteHistorySchema, NewFileIsCurrentWalAndEmpty) {
    const TempFolder dir;
    const fs::path file = dir.path() / "sub" / "history.sqlite";
    {
        auto h = opened(file);
        ASSERT_TRUE(h);
        EXPECT_TRUE(h->list({})->empty());
    }
    EXPECT_EQ(sql_scalar(file, "PRAGMA user_version"),
              std::to_string(SqliteHistory::k_schema_version));
    EXPECT_EQ(sql_scalar(file, "PRAGMA journal_mode"), "wal");
    // Opening again migrates nothing and keeps the version.
    ASSERT_TRUE(opened(file));
    EXPECT_EQ(sql_scalar(file, "PRAGMA user_version"), "2");
}

TEST(SqliteHistorySchema, OlderFileIsMigratedWithItsEntries) {
    const TempFolder dir;
    const fs::path file = dir.path() / "history.sqlite";
    sql_scalar(file, k_old_schema);
    auto h = opened(file);
    ASSERT_TRUE(h);
    EXPECT_EQ(sql_scalar(file, "PRAGMA user_version"), "2");
    const auto all = h->list({});
    ASSERT_EQ(all->size(), 1U);
    EXPECT_EQ(all->front().uid, "old-1");
    EXPECT_EQ(all->front().details["index"], 5);
    // The migrated entry has not reached a central database yet; the flags table exists.
    ASSERT_EQ(h->unsent(10)->size(), 1U);
    EXPECT_TRUE(h->set_flag("x", "1"));
    EXPECT_EQ(*h->flag("x"), "1");
}

TEST(SqliteHistoryRefuses, NewerSchemaDamagedAndLockedFiles) {
    const TempFolder dir;
    const fs::path newer = dir.path() / "newer.sqlite";
    sql_scalar(newer, "CREATE TABLE t(x); PRAGMA user_version = 3;");
    auto n = SqliteHistory::open(newer);
    ASSERT_FALSE(n);
    EXPECT_EQ(n.error().kind, ErrorKind::local_file);
    EXPECT_NE(n.error().message.find("schema version 3, newer than this program's 2"),
              std::string::npos)
        << n.error().message;
    EXPECT_EQ(sql_scalar(newer, "PRAGMA user_version"), "3"); // left as it was

    const fs::path damaged = dir.path() / "damaged.sqlite";
    std::ofstream(damaged) << std::string(8192, 'x');
    auto d = SqliteHistory::open(damaged);
    ASSERT_FALSE(d);
    EXPECT_NE(d.error().message.find(damaged.string()), std::string::npos);

    // Another program holds the write lock beyond the busy wait: the write fails, and the
    // entries are not half written.
    const fs::path locked = dir.path() / "locked.sqlite";
    auto h = opened(locked);
    ASSERT_TRUE(h);
    sqlite3* other = nullptr;
    sqlite3_open(locked.c_str(), &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto entries = test::every_kind();
    auto added = h->add(entries);
    EXPECT_FALSE(added);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(h->list({})->empty());
    EXPECT_TRUE(h->add(entries));
    EXPECT_EQ(h->list({})->size(), entries.size());
}

TEST(SqliteHistoryEntries, EveryKindComesBackAsWritten) {
    const TempFolder dir;
    auto h = opened(dir.path() / "history.sqlite");
    ASSERT_TRUE(h);
    const auto entries = test::every_kind();
    ASSERT_TRUE(h->add(entries));
    const auto back = h->list({});
    ASSERT_EQ(back->size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& a = entries[i];
        const Entry& b = (*back)[i];
        EXPECT_GT(b.id, 0);
        EXPECT_EQ(b.uid, a.uid);
        EXPECT_EQ(b.time, "1970-01-01T01:00:00.000Z");
        EXPECT_EQ(b.station, "st1");
        EXPECT_EQ(b.user, "tech");
        EXPECT_EQ(b.serial, a.serial);
        EXPECT_EQ(b.kind, a.kind) << kind_text(a.kind);
        EXPECT_EQ(b.ok, a.ok);
        EXPECT_EQ(b.details, a.details);
    }
    const Entry& store = (*back)[2];
    EXPECT_FALSE(store.ok);
    EXPECT_EQ(set_from_json(store.details["before"])->set.speed, 125U);
    EXPECT_EQ(set_from_json(store.details["after"])->set.speed, 180U);
    EXPECT_EQ(store.details["reason"], "no \"P\"");
    EXPECT_EQ((*back)[5].details["image_crc"], "0xCBF43926");
    EXPECT_EQ(*h->find((*back)[3].id)->value().details.find("index"), 42);
    EXPECT_FALSE(h->find(99999)->has_value());
}

TEST(SqliteHistoryEntries, SameUidStoredOnceAndQueriesFilter) {
    const TempFolder dir;
    auto h = opened(dir.path() / "history.sqlite");
    ASSERT_TRUE(h);
    std::vector<Entry> e = test::every_kind();
    e[0].serial = 2002;
    e[1].time = "2030-01-01T00:00:00.000Z";
    ASSERT_TRUE(h->add(e));
    ASSERT_TRUE(h->add(e)); // again: nothing new
    EXPECT_EQ(h->list({})->size(), e.size());
    const auto of2002 = h->list({.serial = 2002});
    ASSERT_EQ(of2002->size(), 1U);
    EXPECT_EQ(of2002->front().kind, Kind::seen);
    const auto recent = h->list({.since = "2029-12-31"});
    ASSERT_EQ(recent->size(), 1U);
    EXPECT_EQ(recent->front().kind, Kind::read);
}

TEST(SqliteHistoryEntries, SentEntriesLeaveTheQueueInOrder) {
    const TempFolder dir;
    auto h = opened(dir.path() / "history.sqlite");
    ASSERT_TRUE(h);
    const auto e = test::every_kind();
    ASSERT_TRUE(h->add(e));
    auto first = h->unsent(4);
    ASSERT_EQ(first->size(), 4U);
    EXPECT_EQ((*first)[0].uid, e[0].uid);
    ASSERT_TRUE(h->mark_sent(*first));
    auto rest = h->unsent(100);
    ASSERT_EQ(rest->size(), e.size() - 4);
    EXPECT_EQ(rest->front().uid, e[4].uid);
}

TEST(SetJson, RoundTripsBothTypesAndRefusesWhatIsNoSet) {
    const link::ParaSet ya = test::ya_set(1223476);
    const auto j = set_json(link::ScannerType::ya, ya);
    EXPECT_EQ(j.get<std::string>().size(), 83U);
    EXPECT_TRUE(j.get<std::string>().starts_with("YA:0012AB34006D007D0002")) << j;
    const auto back = set_from_json(j);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, link::ScannerType::ya);
    EXPECT_EQ(back->set, ya);

    const auto za = set_json(link::ScannerType::za, ya);
    EXPECT_EQ(za.get<std::string>().size(), 27U);
    const auto za_back = set_from_json(za);
    ASSERT_TRUE(za_back);
    EXPECT_EQ(za_back->type, link::ScannerType::za);
    EXPECT_EQ(za_back->set.speed, 125U);
    EXPECT_EQ(za_back->set.can_identifier, 0U);

    std::string cut = j.get<std::string>();
    cut.pop_back();
    EXPECT_FALSE(set_from_json(cut));
    std::string not_hex = j.get<std::string>();
    not_hex[20] = 'x';
    EXPECT_FALSE(set_from_json(not_hex));
    EXPECT_FALSE(set_from_json("ZA:" + j.get<std::string>().substr(3))); // a YA payload
    EXPECT_FALSE(set_from_json(set_json(link::ScannerType::unknown, ya)));
    EXPECT_FALSE(set_from_json(nlohmann::json::object()));
}

TEST(BackupImport, TakesExistingBackupsOnce) {
    const TempFolder dir;
    parafile::TextFiles files;
    parafile::BackupStore backups(files, dir.path() / "data");
    const auto t = std::chrono::sys_days{std::chrono::year{2025} / 3 / 1} + std::chrono::hours(9);
    const parafile::ParaFile f{link::ScannerType::ya, test::ya_set(4711), 3, {}, {}};
    ASSERT_TRUE(backups.write(f, parafile::BackupReason::before_update, t));
    ASSERT_TRUE(backups.write(f, parafile::BackupReason::before_store, t - std::chrono::hours(1)));
    std::ofstream(backups.folder(4711) / "broken.trxp") << "format = trxp 1\n";

    auto h = opened(dir.path() / "history.sqlite");
    auto h2 = opened(dir.path() / "history2.sqlite");
    ASSERT_TRUE(h && h2);
    const Origin origin{"st9", "tech", "trx81500 1.09"};
    const auto n = import_backups(*h, dir.path() / "data" / "backups", origin, files);
    ASSERT_TRUE(n) << n.error().message;
    EXPECT_EQ(*n, 2);
    const auto all = h->list({.serial = 4711});
    ASSERT_EQ(all->size(), 2U);
    EXPECT_EQ(all->front().time, "2025-03-01T08:00:00.000Z");
    EXPECT_EQ(all->front().details["reason"], "before_store");
    EXPECT_EQ(all->back().details["reason"], "before_update");
    EXPECT_EQ(set_from_json(all->back().details["set"])->set, test::ya_set(4711));
    EXPECT_EQ(*import_backups(*h, dir.path() / "data" / "backups", origin, files), 0);
    EXPECT_EQ(*import_backups(*h2, dir.path() / "data" / "backups", origin, files,
                              "2025-03-01T08:30:00.000Z"),
              1); // the later one is left to the recorder
    EXPECT_EQ(h->list({})->size(), 2U);
    // The same file recorded as it was written (the import ran first) is one entry.
    std::vector<Entry> recorded;
    test::collecting(recorded, "st9")
        .backup(link::ScannerType::ya, test::ya_set(4711),
                all->back().details["path"].get<std::string>(), "before_update");
    ASSERT_TRUE(h->add(recorded));
    EXPECT_EQ(h->list({})->size(), 2U);
}

} // namespace
} // namespace trx::history
