#include "capture/writer.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace trx::capture {

int FileSink::create_file(const std::filesystem::path& path, std::error_code& ec) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ec = fd < 0 ? std::error_code(errno, std::generic_category()) : std::error_code{};
    return fd;
}

std::unique_ptr<FileSink> FileSink::create(const std::filesystem::path& path, std::error_code& ec) {
    const int fd = create_file(path, ec);
    return fd < 0 ? nullptr : std::unique_ptr<FileSink>(new FileSink(fd));
}

FileSink::~FileSink() {
    (void)::close(fd_);
}

long FileSink::write_some(int fd, const char* data, std::size_t size) {
    return ::write(fd, data, size);
}

std::error_code FileSink::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const long n = write_some(fd_, bytes.data(), bytes.size());
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
    if (::fsync(fd_) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

Writer::Writer(std::unique_ptr<Sink> sink, const Header& header, std::size_t queue_limit)
    : sink_(std::move(sink)), limit_(queue_limit), thread_([this] { run(); }) {
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
    if (queue_.size() + size > limit_) {
        failure_ = "The disk cannot keep up with the recording.";
        queue_.clear();
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
    append_raw(kind, time_us, data, queue_);
    if (queue_.size() >= k_wake_at) {
        wake_.notify_one();
    }
    return true;
}

bool Writer::append_raw_block(std::string_view raw) {
    std::lock_guard lock(mutex_);
    if (!take(raw.size())) {
        return false;
    }
    queue_.append(raw);
    if (queue_.size() >= k_wake_at) {
        wake_.notify_one();
    }
    return true;
}

void Writer::run() {
    std::string raw;
    std::string batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, k_flush_interval, [this] {
            return queue_.size() >= k_wake_at || stopping_ || draining_ || !start_.empty();
        });
        if (!failure_.empty() || (stopping_ && queue_.empty() && start_.empty())) {
            break;
        }
        if (queue_.empty() && start_.empty()) {
            draining_ = false;
            idle_.notify_all();
            continue;
        }
        raw.clear();
        raw.swap(queue_);
        batch.clear();
        batch.swap(start_);
        writing_ = true;
        lock.unlock();
        encode_all(raw, batch);
        const std::error_code ec = sink_->append(batch);
        lock.lock();
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
        const std::error_code ec = sink_->sync();
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

void Writer::encode_all(std::string_view raw, std::string& out) {
    std::size_t pos = 0;
    Kind kind{};
    std::uint64_t time = 0;
    std::string_view data;
    while (next_raw(raw, pos, kind, time, data)) {
        encode(kind, time, data, out);
    }
}

void Writer::drain() {
    std::unique_lock lock(mutex_);
    draining_ = true;
    wake_.notify_one();
    idle_.wait(lock, [this] {
        return (queue_.empty() && start_.empty() && !writing_) || !failure_.empty() || ended_;
    });
}

void Writer::finish() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
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
