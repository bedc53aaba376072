#pragma once

#include "history/history_store.hpp"
#include "history/sqlite_history.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trx::history {

// Opens a store on the queue's own thread, where it is then used alone.
using OpenLocal = std::function<Result<std::unique_ptr<SqliteHistory>>()>;
using OpenCentral = std::function<Result<std::unique_ptr<HistoryStore>>()>;

struct QueueOptions {
    // How long a store that failed is left alone before the next try.
    std::chrono::milliseconds retry{5000};
    // Entries per transaction when forwarding to the central database.
    int batch = 500;
    // Where entries that could not be written when the queue stops are kept until the next
    // start; empty: nowhere.
    std::filesystem::path waiting_file;
    // Run on the queue's thread once, after the first write to the local file (the first
    // start's taking in of the backups).
    std::function<void(SqliteHistory&)> on_open{};
};

// The writer of the history on a thread of its own: post() only appends to a list in memory,
// so whoever records (the link's receive path included) never waits for a database. The
// thread writes the entries into the station's SQLite file and, when a central database is
// set, forwards from there what it has not sent yet, oldest first; one that is out of reach
// keeps them waiting. Whatever fails is tried again after QueueOptions::retry.
class HistoryQueue {
public:
    // central: empty when the station keeps its history to itself.
    HistoryQueue(OpenLocal local, OpenCentral central, QueueOptions options = {});
    ~HistoryQueue();
    HistoryQueue(const HistoryQueue&) = delete;
    HistoryQueue& operator=(const HistoryQueue&) = delete;
    HistoryQueue(HistoryQueue&&) = delete;
    HistoryQueue& operator=(HistoryQueue&&) = delete;

    void post(Entry entry);
    // Waits until a round of writing that began after this call has ended: true when nothing
    // waits any more (written, and forwarded when a central database is set).
    bool flush(std::chrono::milliseconds limit);
    // Why the history is not being written; empty while it is. The reason never holds a
    // password.
    [[nodiscard]] std::string trouble() const;
    // Ends the thread after a last try at the local file; what is still unwritten goes to the
    // waiting file. Called by the destructor.
    void stop();

private:
    void run();
    // Without the lock, on the thread.
    bool ensure_local();
    bool write_local(const std::vector<Entry>& batch);
    bool forward();
    void set_trouble(std::string why);
    void load_waiting();
    void save_waiting();

    OpenLocal open_local_;
    OpenCentral open_central_;
    QueueOptions options_;

    mutable std::mutex m_;
    std::condition_variable wake_;
    std::condition_variable rounds_;
    std::deque<Entry> pending_;
    std::size_t written_ = 0; // how many of the front of pending_ the last round wrote
    bool stopping_ = false;
    bool due_ = false;        // something was posted or a flush asked
    bool forward_due_ = true; // entries of an earlier run may wait for the central database
    std::uint64_t started_ = 0;
    std::uint64_t completed_ = 0;
    bool settled_ = false; // the last round left nothing waiting
    std::string trouble_;

    // Only on the thread.
    std::unique_ptr<SqliteHistory> local_;
    std::unique_ptr<HistoryStore> central_;
    bool opened_once_ = false;

    std::thread thread_; // last: started when everything above is ready
};

} // namespace trx::history
