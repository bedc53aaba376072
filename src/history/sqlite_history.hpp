#pragma once

#include "history/history_store.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace trx::history {

// The station's own history: one SQLite file in the data folder, in WAL mode, so a listing
// reads while the recorder writes. It is also the queue of the entries that wait for the
// line's central database: each entry keeps whether it was sent.
class SqliteHistory final : public HistoryStore {
public:
    // The schema this program writes; older files are migrated when opened.
    static constexpr int k_schema_version = 2;
    static constexpr std::chrono::milliseconds k_busy_wait{2000};

    // Creates the file (and its folder) when missing and migrates an older schema. local_file
    // for a file that is damaged, locked beyond the busy wait, read-only or of a newer schema.
    static Result<std::unique_ptr<SqliteHistory>> open(const std::filesystem::path& file);
    ~SqliteHistory() override;

    Result<Done> add(std::span<const Entry> entries) override;
    Result<std::vector<Entry>> list(const Query& query) override;
    Result<std::optional<Entry>> find(std::int64_t id) override;

    // The oldest entries not yet in the central database, at most `limit`, oldest first.
    Result<std::vector<Entry>> unsent(int limit);
    Result<Done> mark_sent(std::span<const Entry> entries);
    // A name of this station's state ("backups_imported"); empty when never set.
    Result<std::string> flag(const std::string& name);
    Result<Done> set_flag(const std::string& name, const std::string& value);

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }

private:
    SqliteHistory(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}
    Result<Done> migrate();
    Result<Done> exec(const char* sql);
    Result<std::vector<Entry>> select(const std::string& where_and_order,
                                      const std::function<void(::sqlite3_stmt*)>& bind);
    [[nodiscard]] Error failure(const std::string& doing) const;

    sqlite3* db_;
    std::filesystem::path file_;
};

} // namespace trx::history
