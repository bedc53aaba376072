#include "capture/writer.hpp"

#include "base/output_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trx::capture {

FileSink::Opened FileSink::create_file(const std::filesystem::path& path, std::error_code& ec) {
    Opened opened;
    opened.target = output_target(path, ec);
    if (ec) {
        return opened;
    }
    const std::filesystem::path folder =
        opened.target.has_parent_path() ? opened.target.parent_path() : ".";
    opened.temp = (folder / ("." + opened.target.filename().string() + ".XXXXXX")).string();
    // A name of its own, never an existing file: nothing to truncate, no pipe to block on.
    opened.fd = ::mkostemp(opened.temp.data(), O_CLOEXEC);
    if (opened.fd < 0) {
        ec = {errno, std::generic_category()};
        return opened;
    }
    (void)::fchmod(opened.fd, 0644); // mkstemp makes it private; a capture reads like any file
    ec.clear();
    return opened;
}

std::unique_ptr<FileSink> FileSink::create(const std::filesystem::path& path, std::error_code& ec) {
    Opened opened = create_file(path, ec);
    return opened.fd < 0 ? nullptr : std::unique_ptr<FileSink>(new FileSink(std::move(opened)));
}

FileSink::FileSink(Opened opened) : file_(std::move(opened)) {}

FileSink::~FileSink() {
    (void)::close(file_.fd);
    if (!published_) {
        (void)::unlink(file_.temp.c_str());
    }
}

std::error_code FileSink::publish() {
    if (published_) {
        return {};
    }
    if (::rename(file_.temp.c_str(), file_.target.c_str()) != 0) {
        return {errno, std::generic_category()};
    }
    published_ = true;
    const std::filesystem::path folder =
        file_.target.has_parent_path() ? file_.target.parent_path() : ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) { // the new name on the disk too; a folder that cannot sync does not fail it
        (void)::fsync(dir);
        (void)::close(dir);
    }
    return {};
}

long FileSink::write_some(int fd, const char* data, std::size_t size) {
    return ::write(fd, data, size);
}

std::error_code FileSink::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const long n = write_some(file_.fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {n < 0 ? errno : ENOSPC, std::generic_category()};
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

std::error_code FileSink::sync() {
    if (::fsync(file_.fd) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

Writer::Writer(std::unique_ptr<Sink> sink, const Header& header, std::size_t queue_limit,
               std::uint64_t origin_us)
    : sink_(std::move(sink)), limit_(queue_limit), origin_us_(origin_us),
      thread_([this] { run(); }) {
    std::lock_guard lock(mutex_);
    start_ = file_start(header);
}

Writer::~Writer() {
    (void)stop();
}

bool Writer::take(std::size_t size) {
    if (!failure_.empty() || stopping_) {
        return false;
    }
    if (queued_ + size > limit_) {
        failure_ = "The disk cannot keep up with the recording.";
        parts_.clear();
        tail_.clear();
        queued_ = 0;
        idle_.notify_all();
        return false;
    }
    return true;
}

bool Writer::append(Kind kind, std::uint64_t time_us, std::string_view data) {
    std::lock_guard lock(mutex_);
    if (!take(data.size() + k_record_head + k_record_tail)) {
        return false;
    }
    const std::size_t before = tail_.size();
    append_raw(kind, time_us, data, tail_);
    queued_ += tail_.size() - before;
    wake_if_full();
    return true;
}

bool Writer::append_shared(std::shared_ptr<const void> owner, std::string_view raw) {
    std::lock_guard lock(mutex_);
    if (!take(raw.size())) {
        return false;
    }
    close_tail();
    parts_.push_back({std::move(owner), raw});
    queued_ += raw.size();
    wake_if_full();
    return true;
}

void Writer::close_tail() {
    if (tail_.empty()) {
        return;
    }
    auto own = std::make_shared<const std::string>(std::move(tail_));
    tail_.clear();
    const std::string_view raw(*own);
    parts_.push_back({std::move(own), raw});
}

// Once per filling of the queue: a wake-up is a system call, and the thread, once woken, takes
// everything there is.
void Writer::wake_if_full() {
    if (!woken_ && queued_ >= k_wake_at) {
        woken_ = true;
        wake_.notify_one();
    }
}

void Writer::run() {
    std::vector<Part> parts;
    std::string batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, k_flush_interval, [this] {
            return queued_ >= k_wake_at || stopping_ || draining_ || !start_.empty();
        });
        if (!failure_.empty() || (stopping_ && queued_ == 0 && start_.empty())) {
            break;
        }
        if (queued_ == 0 && start_.empty()) {
            draining_ = false;
            idle_.notify_all();
            continue;
        }
        close_tail();
        parts.swap(parts_);
        queued_ = 0;
        woken_ = false;
        std::string head;
        head.swap(start_);
        batch.clear();
        writing_ = true;
        lock.unlock();
        for (const Part& p : parts) {
            encode_all(p.raw, batch);
        }
        parts.clear(); // what the ring has dropped meanwhile goes now
        // The header on its own: a file that holds it whole is a capture, even when the disk
        // fills right after.
        std::error_code ec = head.empty() ? std::error_code{} : sink_->append(head);
        const bool head_written = !head.empty() && !ec;
        if (!ec) {
            ec = sink_->append(batch);
        }
        lock.lock();
        header_written_ = header_written_ || head_written;
        writing_ = false;
        fail(ec);
        idle_.notify_all();
        if (!failure_.empty()) {
            break;
        }
    }
    if (failure_.empty()) {
        // On this thread too: a slow disk's sync never holds up the caller.
        lock.unlock();
        std::error_code ec = sink_->sync();
        if (!ec && publish_at_end_) {
            ec = sink_->publish();
        }
        lock.lock();
        fail(ec);
    }
    ended_ = true;
    idle_.notify_all();
}

void Writer::fail(const std::error_code& ec) {
    if (ec && failure_.empty()) {
        error_ = ec;
        failure_ = "Writing the recording failed: " + ec.message() + ".";
    }
}

// Times move to the file's line here, on the writer's thread: the caller hands its records
// over as they are stored.
void Writer::encode_all(std::string_view raw, std::string& out) const {
    std::size_t pos = 0;
    Kind kind{};
    std::uint64_t time = 0;
    std::string_view data;
    while (next_raw(raw, pos, kind, time, data)) {
        encode(kind, time > origin_us_ ? time - origin_us_ : 0, data, out);
    }
}

void Writer::drain() {
    std::unique_lock lock(mutex_);
    draining_ = true;
    wake_.notify_one();
    idle_.wait(lock, [this] {
        return (queued_ == 0 && start_.empty() && !writing_) || !failure_.empty() || ended_;
    });
}

std::error_code Writer::publish() {
    drain();
    std::lock_guard lock(mutex_);
    if (!header_written_) {
        return error_ ? error_ : std::make_error_code(std::errc::no_buffer_space);
    }
    // The thread only ever appends to the open descriptor: the rename does not disturb it.
    return sink_->publish();
}

void Writer::finish(bool put_in_place) {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        publish_at_end_ = publish_at_end_ || put_in_place;
    }
    wake_.notify_all();
}

std::string Writer::stop() {
    finish();
    if (thread_.joinable()) {
        thread_.join();
    }
    return failure();
}

bool Writer::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

std::error_code Writer::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string Writer::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool Writer::failed() const {
    std::lock_guard lock(mutex_);
    return !failure_.empty();
}

} // namespace trx::capture
