#include "history/station_history.hpp"

#include "history/backup_import.hpp"
#include "history/pg_history.hpp"

namespace trx::history {

namespace {

HistoryConfig config_or_default(const Result<HistoryConfig>& read) {
    return read ? *read : HistoryConfig{};
}

} // namespace

StationHistory::StationHistory(const std::filesystem::path& config_folder,
                               const std::filesystem::path& data_folder, std::string program,
                               parafile::TextFiles& files, QueueOptions options)
    : local_file_(data_folder / k_local_file), recorder_({}, {}, {}) {
    const Result<HistoryConfig> read = read_history_config(config_folder, k_url_variable);
    if (!read) {
        // The entries stay on this station until the settings are mended.
        config_trouble_ = "the history settings are not used: " + read.error().message;
    }
    config_ = config_or_default(read);
    const Origin origin = local_origin(config_, std::move(program));
    recorder_ = Recorder(
        origin, [] { return std::chrono::system_clock::now(); },
        [this](Entry e) { queue_->post(std::move(e)); });
    if (options.waiting_file.empty()) {
        options.waiting_file = data_folder / k_waiting_file;
    }
    const std::filesystem::path backups = data_folder / "backups";
    // Whole seconds, as backups are stamped: one written from here on is this run's.
    const std::string started =
        iso_time(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    options.on_open = [backups, origin, started, &files](SqliteHistory& local) {
        // Best effort: a backup that cannot be taken in stays a file, as before.
        (void)import_backups(local, backups, origin, files, started);
    };
    OpenCentral central;
    if (!config_.url.empty()) {
        central = [url = config_.url]() -> Result<std::unique_ptr<HistoryStore>> {
            auto pg = PgHistory::open(url);
            if (!pg) {
                return pg.error();
            }
            return std::unique_ptr<HistoryStore>(std::move(pg.value()));
        };
    }
    queue_ =
        std::make_unique<HistoryQueue>([file = local_file_] { return SqliteHistory::open(file); },
                                       std::move(central), std::move(options));
}

void StationHistory::link_backups(parafile::BackupStore& backups) {
    backups.set_on_written([this](const parafile::ParaFile& file, parafile::BackupReason reason,
                                  const std::filesystem::path& path) {
        recorder_.backup(file.type, file.set, path.string(),
                         reason == parafile::BackupReason::before_store ? "before_store"
                                                                        : "before_update");
    });
}

Result<std::unique_ptr<HistoryStore>>
StationHistory::open_for_reading(std::chrono::milliseconds settle) {
    queue_->flush(settle);
    if (!config_.url.empty()) {
        auto pg = PgHistory::open(config_.url);
        if (!pg) {
            return pg.error();
        }
        return std::unique_ptr<HistoryStore>(std::move(pg.value()));
    }
    auto local = SqliteHistory::open(local_file_);
    if (!local) {
        return local.error();
    }
    return std::unique_ptr<HistoryStore>(std::move(local.value()));
}

std::string StationHistory::trouble() const {
    const std::string queue = queue_->trouble();
    if (config_trouble_.empty()) {
        return queue;
    }
    return queue.empty() ? config_trouble_ : config_trouble_ + "; " + queue;
}

} // namespace trx::history
