#pragma once

#include "link/para_set.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One entry of the service history: what was done to which scanner, when, where and by whom.
namespace trx::history {

enum class Kind {
    seen,
    read,
    store,
    index,
    backup,
    update,
    verify,
    read_back,
    file_save,
    file_load,
};

// "seen", "read", ... "file_load": the names in the database and on the command line.
std::string_view kind_text(Kind kind);
std::optional<Kind> parse_kind(std::string_view text);

struct Entry {
    std::int64_t id = 0; // the store's number; 0 until stored
    std::string uid;     // unique on every station: a second copy of it is stored once
    std::string time;    // UTC, ISO 8601 with milliseconds: "2025-03-01T09:30:00.125Z"
    std::string station;
    std::string user;
    std::string program; // "trx81500 1.09"
    std::optional<std::uint32_t> serial;
    Kind kind = Kind::seen;
    bool ok = true;
    nlohmann::json details = nlohmann::json::object(); // the kind's own fields
};

// 32 random hexadecimal digits.
std::string new_uid();
std::string iso_time(std::chrono::system_clock::time_point t);

// A set as its type and the payload of the scanner's "W" reply: "YA:0012AB34006D...", 83
// characters for the extended set, 27 for the short one. A quarter of the size of an object
// of field names, which keeps a year's history small; the fronts show it field by field.
nlohmann::json set_json(link::ScannerType type, const link::ParaSet& set);
// The set of such a text: none when its type is unknown or its payload has the wrong length or
// is not hexadecimal.
struct TypedSet {
    link::ScannerType type = link::ScannerType::unknown;
    link::ParaSet set;
};
std::optional<TypedSet> set_from_json(const nlohmann::json& j);

// The entry as one JSON object: id, uid, time, station, user, program, serial, kind, ok and
// the kind's own fields beside them.
nlohmann::json entry_json(const Entry& e);

// The columns of the CSV export, and one entry's row (the kind's fields as one JSON cell).
std::string csv_header();
std::string csv_row(const Entry& e);

} // namespace trx::history
