#pragma once

#include "base/result.hpp"
#include "history/recorder.hpp"
#include "history/sqlite_history.hpp"
#include "parafile/text_files.hpp"

#include <filesystem>

namespace trx::history {

inline constexpr const char* k_backups_imported = "backups_imported";

// Takes the backups that existed before the history into it, once per history file: one
// "backup" entry per readable backup, at the time the file was saved, linked by its path. A
// second run finds the flag and does nothing; a file taken twice is stored once (its uid comes
// from the station and the path, as a recorded backup's does). The number of entries taken.
// Backups saved at or after `before` (ISO 8601, "" for none) are this run's own, which the
// recorder enters as they are written.
Result<int> import_backups(SqliteHistory& store, const std::filesystem::path& backups_folder,
                           const Origin& origin, parafile::TextFiles& files,
                           const std::string& before = {});

} // namespace trx::history
