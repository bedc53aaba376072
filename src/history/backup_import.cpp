#include "history/backup_import.hpp"

#include "parafile/para_file.hpp"

#include <algorithm>
#include <system_error>
#include <vector>

namespace trx::history {

namespace {

std::vector<std::filesystem::path> backup_files(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().extension() == ".trxp") {
            out.push_back(it->path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<Entry> backup_entry(const std::filesystem::path& path, const Origin& origin,
                                  parafile::TextFiles& files) {
    const Result<std::string> text = files.read(path, parafile::k_max_file_bytes);
    if (!text) {
        return std::nullopt;
    }
    const parafile::ParaFileRead r = parafile::parse_para_file(*text);
    if (!r.file) {
        return std::nullopt;
    }
    const std::string name = path.filename().string();
    Entry e;
    e.uid = backup_uid(origin.station, path.string());
    // "2025-03-01T09:30:00Z" as the recorder writes times, with milliseconds.
    e.time = r.file->saved.size() == 20 ? r.file->saved.substr(0, 19) + ".000Z" : r.file->saved;
    e.station = origin.station;
    e.user = origin.user;
    e.program = r.file->program;
    e.serial = r.file->set.serial_number;
    e.kind = Kind::backup;
    e.details["path"] = path.string();
    e.details["reason"] =
        name.find("before-update") != std::string::npos ? "before_update" : "before_store";
    e.details["set"] = set_json(r.file->type, r.file->set);
    e.details["imported"] = true;
    return e;
}

} // namespace

Result<int> import_backups(SqliteHistory& store, const std::filesystem::path& backups_folder,
                           const Origin& origin, parafile::TextFiles& files,
                           const std::string& before) {
    const Result<std::string> done = store.flag(k_backups_imported);
    if (!done) {
        return done.error();
    }
    if (!done->empty()) {
        return 0;
    }
    std::vector<Entry> entries;
    for (const auto& path : backup_files(backups_folder)) {
        if (auto e = backup_entry(path, origin, files); e && (before.empty() || e->time < before)) {
            entries.push_back(std::move(*e));
        }
    }
    // Oldest first, as if they had been recorded when they were written.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.time < b.time; });
    if (auto added = store.add(entries); !added) {
        return added.error();
    }
    if (auto flagged = store.set_flag(k_backups_imported, "1"); !flagged) {
        return flagged.error();
    }
    return static_cast<int>(entries.size());
}

} // namespace trx::history
