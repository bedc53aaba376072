#pragma once

#include "history/history_config.hpp"
#include "history/history_queue.hpp"
#include "history/recorder.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/text_files.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace trx::history {

// A station's history as a front composes it: the settings read, the queue writing into
// <data folder>/history.sqlite (and on to the line's database when one is set), the recorder
// the operations report to, and the backups taken in at the first start.
class StationHistory {
public:
    StationHistory(const std::filesystem::path& config_folder,
                   const std::filesystem::path& data_folder, std::string program,
                   parafile::TextFiles& files, QueueOptions options = {});

    [[nodiscard]] Recorder& recorder() { return recorder_; }
    // Every backup the store writes gets its entry.
    void link_backups(parafile::BackupStore& backups);
    // What was recorded written (and forwarded) first, then the line's database when one is
    // set, else the station's file.
    Result<std::unique_ptr<HistoryStore>> open_for_reading(std::chrono::milliseconds settle);
    bool settle(std::chrono::milliseconds limit) { return queue_->flush(limit); }
    // Why the history is not being written (or the settings are wrong); empty while it is.
    [[nodiscard]] std::string trouble() const;
    [[nodiscard]] const std::filesystem::path& local_file() const { return local_file_; }

private:
    std::filesystem::path local_file_;
    std::string config_trouble_;
    HistoryConfig config_;
    std::unique_ptr<HistoryQueue> queue_;
    Recorder recorder_;
};

} // namespace trx::history
