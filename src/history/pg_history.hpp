#pragma once

#include "history/history_store.hpp"

#include <memory>
#include <string>

struct pg_conn;

namespace trx::history {

// The line's central history in PostgreSQL: every station writes into it. The schema is
// created or migrated when a station connects, under a lock, so two stations starting at once
// do not race.
class PgHistory final : public HistoryStore {
public:
    static constexpr int k_schema_version = 1;
    // How long a connection attempt may take before the server counts as out of reach.
    static constexpr int k_connect_timeout_s = 3;

    // conninfo: a libpq connection string or URI. The error never holds the password.
    static Result<std::unique_ptr<PgHistory>> open(const std::string& conninfo);
    ~PgHistory() override;

    Result<Done> add(std::span<const Entry> entries) override;
    Result<std::vector<Entry>> list(const Query& query) override;
    Result<std::optional<Entry>> find(std::int64_t id) override;

private:
    PgHistory(pg_conn* conn, std::string conninfo) : conn_(conn), conninfo_(std::move(conninfo)) {}
    Result<Done> migrate();
    Result<Done> command(const std::string& sql);
    Result<std::vector<Entry>> select(const std::string& where,
                                      const std::vector<std::string>& args);
    [[nodiscard]] Error failure(const std::string& doing) const;

    pg_conn* conn_;
    std::string conninfo_;
};

// The connection string with its password replaced by "***": for logs and messages.
std::string redact_conninfo(const std::string& conninfo);
// A message with every occurrence of the connection string's password replaced by "***".
std::string without_password(std::string message, const std::string& conninfo);

} // namespace trx::history
