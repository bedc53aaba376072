#pragma once

#include "base/result.hpp"
#include "history/recorder.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace trx::history {

inline constexpr const char* k_config_file = "history.conf";
inline constexpr const char* k_url_variable = "TRX81500_HISTORY_URL";
inline constexpr const char* k_local_file = "history.sqlite";
inline constexpr const char* k_waiting_file = "history-waiting.jsonl";

// <config folder>/history.conf: "url = <connection string>" (the line's database) and
// "station = <name>"; "#" starts a comment. url_variable (TRX81500_HISTORY_URL), when set and
// not empty, takes the place of the file's url.
struct HistoryConfig {
    std::string url; // empty: the station's own SQLite file only
    std::string station;
};

// A missing file is no error; a line that is not "name = value" of a known name is.
Result<HistoryConfig> read_history_config(const std::filesystem::path& config_folder,
                                          const char* url_variable);

// The station (the settings' name, else the host name) and user (the login name).
Origin local_origin(const HistoryConfig& config, std::string program);

} // namespace trx::history
