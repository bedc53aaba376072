#pragma once

#include "base/result.hpp"
#include "history/entry.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trx::history {

// Which entries a listing gives, oldest first.
struct Query {
    std::optional<std::uint32_t> serial{};
    std::string since{}; // ISO 8601; entries at or after it; empty: all
};

// A database of history entries. Each object is used by one thread at a time.
class HistoryStore {
public:
    HistoryStore() = default;
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;
    HistoryStore(HistoryStore&&) = delete;
    HistoryStore& operator=(HistoryStore&&) = delete;
    virtual ~HistoryStore() = default;

    // All of them or none, in one transaction; an entry whose uid is stored already is
    // skipped, so sending one twice stores it once.
    virtual Result<Done> add(std::span<const Entry> entries) = 0;
    virtual Result<std::vector<Entry>> list(const Query& query) = 0;
    // none when no entry has this number.
    virtual Result<std::optional<Entry>> find(std::int64_t id) = 0;
};

} // namespace trx::history
