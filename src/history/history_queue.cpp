#include "history/history_queue.hpp"

#include <fstream>
#include <system_error>
#include <utility>

namespace trx::history {

namespace {

// The waiting file holds one entry per line as JSON, the kind's fields apart.
nlohmann::json waiting_json(const Entry& e) {
    nlohmann::json j = entry_json(Entry{0, e.uid, e.time, e.station, e.user, e.program, e.serial,
                                        e.kind, e.ok, nlohmann::json::object()});
    j.erase("id");
    j["details"] = e.details;
    return j;
}

std::optional<Entry> waiting_entry(const std::string& line) {
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object() || !j.contains("uid") || !j.contains("kind") || !j["kind"].is_string()) {
        return std::nullopt;
    }
    const auto kind = parse_kind(j["kind"].get<std::string>());
    if (!kind) {
        return std::nullopt;
    }
    Entry e;
    e.uid = j.value("uid", "");
    e.time = j.value("time", "");
    e.station = j.value("station", "");
    e.user = j.value("user", "");
    e.program = j.value("program", "");
    if (j.contains("serial") && j["serial"].is_number_unsigned()) {
        e.serial = j["serial"].get<std::uint32_t>();
    }
    e.kind = *kind;
    e.ok = j.value("ok", false);
    e.details = j.value("details", nlohmann::json::object());
    return e;
}

} // namespace

HistoryQueue::HistoryQueue(OpenLocal local, OpenCentral central, QueueOptions options)
    : open_local_(std::move(local)), open_central_(std::move(central)),
      options_(std::move(options)) {
    load_waiting();
    // The file opened at once: a history that cannot be written is known before it matters.
    due_ = true;
    thread_ = std::thread([this] { run(); });
}

HistoryQueue::~HistoryQueue() {
    stop();
}

void HistoryQueue::post(Entry entry) {
    {
        const std::lock_guard lk(m_);
        pending_.push_back(std::move(entry));
        due_ = true;
    }
    wake_.notify_one();
}

bool HistoryQueue::flush(std::chrono::milliseconds limit) {
    std::unique_lock lk(m_);
    if (!thread_.joinable()) {
        return pending_.empty();
    }
    const std::uint64_t after = started_;
    due_ = true;
    wake_.notify_one();
    rounds_.wait_for(lk, limit, [&] { return completed_ > after; });
    return completed_ > after && settled_;
}

std::string HistoryQueue::trouble() const {
    const std::lock_guard lk(m_);
    return trouble_;
}

void HistoryQueue::stop() {
    {
        const std::lock_guard lk(m_);
        if (!thread_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    save_waiting();
}

void HistoryQueue::run() {
    std::unique_lock lk(m_);
    while (true) {
        wake_.wait_for(lk, options_.retry, [&] { return stopping_ || due_; });
        const bool stopping = stopping_;
        if (!stopping && !due_ && pending_.empty() && !forward_due_) {
            continue; // the retry time passed with nothing to do
        }
        due_ = false;
        ++started_;
        const std::vector<Entry> batch(pending_.begin(), pending_.end());
        const bool forward_due = forward_due_ || !batch.empty();
        lk.unlock();

        const bool wrote = ensure_local() && write_local(batch);
        // After the entries that waited from an earlier run, which came first.
        if (wrote && !opened_once_ && options_.on_open) {
            options_.on_open(*local_);
        }
        opened_once_ = opened_once_ || wrote;
        // Forwarding may wait for a server that does not answer; a stopping queue leaves it
        // to the next start, the entries being safe in the local file.
        const bool forwarded = !open_central_ || (wrote && !stopping && forward_due && forward());

        lk.lock();
        if (wrote) {
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(batch.size()));
            forward_due_ = open_central_ && !forwarded;
        }
        settled_ = pending_.empty() && !forward_due_;
        ++completed_;
        rounds_.notify_all();
        if (stopping) {
            return;
        }
    }
}

bool HistoryQueue::ensure_local() {
    if (local_) {
        return true;
    }
    auto opened = open_local_();
    if (!opened) {
        set_trouble("the history is not being written: " + opened.error().message);
        return false;
    }
    local_ = std::move(opened.value());
    return true;
}

bool HistoryQueue::write_local(const std::vector<Entry>& batch) {
    if (batch.empty()) {
        return true;
    }
    if (auto added = local_->add(batch); !added) {
        set_trouble("the history is not being written: " + added.error().message);
        // A file that failed may be mended or replaced; it is opened afresh next time.
        local_.reset();
        return false;
    }
    if (!options_.waiting_file.empty()) {
        std::error_code ec;
        std::filesystem::remove(options_.waiting_file, ec);
    }
    if (!open_central_) {
        set_trouble({});
    }
    return true;
}

bool HistoryQueue::forward() {
    if (!central_) {
        auto opened = open_central_();
        if (!opened) {
            set_trouble("the history does not reach the line's database (the entries wait): " +
                        opened.error().message);
            return false;
        }
        central_ = std::move(opened.value());
    }
    while (true) {
        auto waiting = local_->unsent(options_.batch);
        if (!waiting) {
            set_trouble("the history is not being written: " + waiting.error().message);
            return false;
        }
        if (waiting->empty()) {
            set_trouble({});
            return true;
        }
        // Sent first, marked after: a crash between the two sends them again, and the
        // central database keeps each uid once.
        if (auto sent = central_->add(*waiting); !sent) {
            set_trouble("the history does not reach the line's database (the entries wait): " +
                        sent.error().message);
            central_.reset();
            return false;
        }
        if (auto marked = local_->mark_sent(*waiting); !marked) {
            set_trouble("the history is not being written: " + marked.error().message);
            return false;
        }
    }
}

void HistoryQueue::set_trouble(std::string why) {
    const std::lock_guard lk(m_);
    trouble_ = std::move(why);
}

void HistoryQueue::load_waiting() {
    if (options_.waiting_file.empty()) {
        return;
    }
    std::ifstream in(options_.waiting_file);
    std::string line;
    while (std::getline(in, line)) {
        if (auto e = waiting_entry(line)) {
            pending_.push_back(std::move(*e));
        }
    }
}

void HistoryQueue::save_waiting() {
    if (options_.waiting_file.empty() || pending_.empty()) {
        return;
    }
    // Whole or not at all: the old file stays until the new one is complete.
    const std::filesystem::path tmp = options_.waiting_file.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const Entry& e : pending_) {
            out << waiting_json(e).dump() << '\n';
        }
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            return;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, options_.waiting_file, ec);
}

} // namespace trx::history
