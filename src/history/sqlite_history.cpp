#include "history/sqlite_history.hpp"

#include <sqlite3.h>

#include <functional>
#include <system_error>

namespace trx::history {

namespace {

// Version 1 held the entries alone; version 2 adds whether each one reached the central
// database, the station's flags, and the indexes a listing by serial number needs.
constexpr const char* k_schema_v1 = R"sql(
CREATE TABLE entries(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  uid TEXT NOT NULL UNIQUE,
  time TEXT NOT NULL,
  station TEXT NOT NULL,
  user_name TEXT NOT NULL,
  program TEXT NOT NULL,
  serial INTEGER,
  kind TEXT NOT NULL,
  ok INTEGER NOT NULL,
  details TEXT NOT NULL);
PRAGMA user_version = 1;
)sql";

constexpr const char* k_v1_to_v2 = R"sql(
ALTER TABLE entries ADD COLUMN sent INTEGER NOT NULL DEFAULT 0;
CREATE INDEX entries_serial ON entries(serial, id);
CREATE INDEX entries_unsent ON entries(id) WHERE sent = 0;
CREATE TABLE flags(name TEXT PRIMARY KEY, value TEXT NOT NULL);
PRAGMA user_version = 2;
)sql";

constexpr const char* k_columns =
    "SELECT id, uid, time, station, user_name, program, serial, kind, ok, details FROM entries ";

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&&) = delete;
    Statement& operator=(Statement&&) = delete;
    [[nodiscard]] bool ok() const { return rc_ == SQLITE_OK; }
    [[nodiscard]] sqlite3_stmt* get() const { return s_; }

private:
    sqlite3_stmt* s_ = nullptr;
    int rc_ = SQLITE_OK;
};

std::string text_column(sqlite3_stmt* s, int col) {
    const auto* t = sqlite3_column_text(s, col);
    return t != nullptr ? reinterpret_cast<const char*>(t) : std::string();
}

void bind_text(sqlite3_stmt* s, int col, const std::string& text) {
    sqlite3_bind_text(s, col, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

Entry entry_of(sqlite3_stmt* s) {
    Entry e;
    e.id = sqlite3_column_int64(s, 0);
    e.uid = text_column(s, 1);
    e.time = text_column(s, 2);
    e.station = text_column(s, 3);
    e.user = text_column(s, 4);
    e.program = text_column(s, 5);
    if (sqlite3_column_type(s, 6) != SQLITE_NULL) {
        e.serial = static_cast<std::uint32_t>(sqlite3_column_int64(s, 6));
    }
    e.kind = parse_kind(text_column(s, 7)).value_or(Kind::seen);
    e.ok = sqlite3_column_int(s, 8) != 0;
    e.details = nlohmann::json::parse(text_column(s, 9), nullptr, false);
    if (e.details.is_discarded()) {
        e.details = nlohmann::json::object();
    }
    return e;
}

} // namespace

Result<std::unique_ptr<SqliteHistory>> SqliteHistory::open(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) {
        return Error{ErrorKind::local_file,
                     "cannot create " + file.parent_path().string() + ": " + ec.message()};
    }
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<SqliteHistory> h(new SqliteHistory(db, file));
    if (rc != SQLITE_OK) {
        return h->failure("cannot open");
    }
    sqlite3_busy_timeout(db, static_cast<int>(k_busy_wait.count()));
    // A damaged file shows itself at the first read of the schema.
    if (auto wal = h->exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"); !wal) {
        return wal.error();
    }
    if (auto m = h->migrate(); !m) {
        return m.error();
    }
    return h;
}

SqliteHistory::~SqliteHistory() {
    sqlite3_close_v2(db_);
}

Error SqliteHistory::failure(const std::string& doing) const {
    const char* why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    return {ErrorKind::local_file, doing + " the history " + file_.string() + ": " + why};
}

Result<Done> SqliteHistory::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return failure("cannot use");
    }
    return Done{};
}

Result<Done> SqliteHistory::migrate() {
    if (auto begin = exec("BEGIN IMMEDIATE"); !begin) {
        return begin.error();
    }
    int version = 0;
    {
        const Statement s(db_, "PRAGMA user_version");
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
            Error e = failure("cannot read");
            exec("ROLLBACK");
            return e;
        }
        version = sqlite3_column_int(s.get(), 0);
    }
    if (version > k_schema_version) {
        exec("ROLLBACK");
        return Error{ErrorKind::local_file, "the history " + file_.string() +
                                                " has schema version " + std::to_string(version) +
                                                ", newer than this program's " +
                                                std::to_string(k_schema_version)};
    }
    const char* steps[] = {k_schema_v1, k_v1_to_v2};
    for (int v = version; v < k_schema_version; ++v) {
        if (auto step = exec(steps[v]); !step) {
            exec("ROLLBACK");
            return step.error();
        }
    }
    return exec("COMMIT");
}

Result<Done> SqliteHistory::add(std::span<const Entry> entries) {
    if (auto begin = exec("BEGIN IMMEDIATE"); !begin) {
        return begin.error();
    }
    const Statement s(db_, "INSERT OR IGNORE INTO entries(uid, time, station, user_name, "
                           "program, serial, kind, ok, details) VALUES(?,?,?,?,?,?,?,?,?)");
    if (!s.ok()) {
        Error e = failure("cannot write to");
        exec("ROLLBACK");
        return e;
    }
    for (const Entry& e : entries) {
        sqlite3_reset(s.get());
        bind_text(s.get(), 1, e.uid);
        bind_text(s.get(), 2, e.time);
        bind_text(s.get(), 3, e.station);
        bind_text(s.get(), 4, e.user);
        bind_text(s.get(), 5, e.program);
        if (e.serial) {
            sqlite3_bind_int64(s.get(), 6, *e.serial);
        } else {
            sqlite3_bind_null(s.get(), 6);
        }
        bind_text(s.get(), 7, std::string(kind_text(e.kind)));
        sqlite3_bind_int(s.get(), 8, e.ok ? 1 : 0);
        bind_text(s.get(), 9, e.details.dump());
        if (sqlite3_step(s.get()) != SQLITE_DONE) {
            Error err = failure("cannot write to");
            exec("ROLLBACK");
            return err;
        }
    }
    return exec("COMMIT");
}

Result<std::vector<Entry>> SqliteHistory::select(const std::string& where_and_order,
                                                 const std::function<void(sqlite3_stmt*)>& bind) {
    const Statement s(db_, std::string(k_columns) + where_and_order);
    if (!s.ok()) {
        return failure("cannot read");
    }
    bind(s.get());
    std::vector<Entry> out;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        out.push_back(entry_of(s.get()));
    }
    if (rc != SQLITE_DONE) {
        return failure("cannot read");
    }
    return out;
}

Result<std::vector<Entry>> SqliteHistory::list(const Query& query) {
    // Only the conditions asked for, so that one scanner's entries come from the index.
    std::string where = "WHERE 1";
    if (query.serial) {
        where += " AND serial = ?1";
    }
    if (!query.since.empty()) {
        where += " AND time >= ?2";
    }
    return select(where + " ORDER BY id", [&query](sqlite3_stmt* s) {
        if (query.serial) {
            sqlite3_bind_int64(s, 1, *query.serial);
        }
        if (!query.since.empty()) {
            bind_text(s, 2, query.since);
        }
    });
}

Result<std::optional<Entry>> SqliteHistory::find(std::int64_t id) {
    auto found = select("WHERE id = ?1", [id](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); });
    if (!found) {
        return found.error();
    }
    if (found->empty()) {
        return std::optional<Entry>{};
    }
    return std::optional<Entry>{found->front()};
}

Result<std::vector<Entry>> SqliteHistory::unsent(int limit) {
    return select("WHERE sent = 0 ORDER BY id LIMIT ?1",
                  [limit](sqlite3_stmt* s) { sqlite3_bind_int(s, 1, limit); });
}

Result<Done> SqliteHistory::mark_sent(std::span<const Entry> entries) {
    if (auto begin = exec("BEGIN IMMEDIATE"); !begin) {
        return begin.error();
    }
    const Statement s(db_, "UPDATE entries SET sent = 1 WHERE uid = ?1");
    for (const Entry& e : entries) {
        sqlite3_reset(s.get());
        bind_text(s.get(), 1, e.uid);
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_DONE) {
            Error err = failure("cannot write to");
            exec("ROLLBACK");
            return err;
        }
    }
    return exec("COMMIT");
}

Result<std::string> SqliteHistory::flag(const std::string& name) {
    const Statement s(db_, "SELECT value FROM flags WHERE name = ?1");
    if (!s.ok()) {
        return failure("cannot read");
    }
    bind_text(s.get(), 1, name);
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
        return text_column(s.get(), 0);
    }
    if (rc != SQLITE_DONE) {
        return failure("cannot read");
    }
    return std::string();
}

Result<Done> SqliteHistory::set_flag(const std::string& name, const std::string& value) {
    const Statement s(db_, "INSERT OR REPLACE INTO flags(name, value) VALUES(?1, ?2)");
    if (!s.ok()) {
        return failure("cannot write to");
    }
    bind_text(s.get(), 1, name);
    bind_text(s.get(), 2, value);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        return failure("cannot write to");
    }
    return Done{};
}

} // namespace trx::history
