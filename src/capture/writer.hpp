#pragma once

#include "capture/format.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace trx::capture {

// Where a capture goes: a file that grows by appending.
class Sink {
public:
    Sink() = default;
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    Sink(Sink&&) = delete;
    Sink& operator=(Sink&&) = delete;
    virtual ~Sink() = default;
    // All of bytes, or the reason it could not.
    virtual std::error_code append(std::string_view bytes) = 0;
    // What was appended is on the disk.
    virtual std::error_code sync() = 0;
    // Makes what was written the file asked for. Until then a file of that name stays as it
    // was, and a sink that is never put in place leaves no trace.
    virtual std::error_code publish() { return {}; }
};

// A file written new beside the one asked for (a hidden temporary file in its folder) and put
// in its place by publish(): a recording that cannot start never costs the user an earlier one.
// Every append goes straight to the system.
class FileSink : public Sink {
public:
    // nullptr and the reason when the file cannot be created, or path is no place for it (a
    // folder, a device, a pipe: see output_target).
    static std::unique_ptr<FileSink> create(const std::filesystem::path& path, std::error_code& ec);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    FileSink(FileSink&&) = delete;
    FileSink& operator=(FileSink&&) = delete;
    std::error_code append(std::string_view bytes) override;
    std::error_code sync() override;
    std::error_code publish() override;

protected:
    // The temporary file created new, and the name it takes when put in place.
    struct Opened {
        int fd = -1; // -1 when it cannot be created
        std::string temp;
        std::filesystem::path target;
    };
    explicit FileSink(Opened opened);
    // The file created new for path; fd -1 and the reason when it cannot be.
    static Opened create_file(const std::filesystem::path& path, std::error_code& ec);
    // The system's write; a test puts a full disk in its place.
    virtual long write_some(int fd, const char* data, std::size_t size);

private:
    Opened file_;
    bool published_ = false;
};

// Appends records to a sink on its own thread, through a bounded queue: the caller never
// waits for the disk, and pays at most a copy into the queue; the thread checksums and writes,
// woken when enough has gathered and at least every k_flush_interval. When the queue is full (the
// disk cannot keep up) or a write fails, the recording ends: what was written stays, failure() says
// why, and appends are refused.
class Writer {
public:
    static constexpr std::size_t k_default_queue = 4U << 20;
    static constexpr std::chrono::milliseconds k_flush_interval{50};
    static constexpr std::size_t k_wake_at = 1U << 20;

    // Times handed in count on the caller's time line; the file's count from origin_us.
    Writer(std::unique_ptr<Sink> sink, const Header& header,
           std::size_t queue_limit = k_default_queue, std::uint64_t origin_us = 0);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    Writer(Writer&&) = delete;
    Writer& operator=(Writer&&) = delete;

    // false when the recording has ended.
    bool append(Kind kind, std::uint64_t time_us, std::string_view data);
    // Records gathered by the caller with append_raw, handed over at once and without a copy:
    // one lock for many records. raw lies in memory that stays as it is while owner lives (a
    // chunk of the ring, which only ever grows at its end). false when the recording has
    // ended.
    bool append_shared(std::shared_ptr<const void> owner, std::string_view raw);
    // Waits until everything queued is written or the recording failed.
    void drain();
    // Waits until the header and everything queued is written, then puts the file in place
    // (Sink::publish) once it holds its header whole, even when a write after it failed (the
    // recording then ends as failure() says); the reason when the header or the rename
    // failed.
    std::error_code publish();
    // Writes what is queued, syncs and ends the thread; returns failure().
    std::string stop();
    // As stop, without waiting: ended() tells when the thread is done, and stop() then
    // returns at once. With put_in_place, the file takes its name once it is whole and synced.
    void finish(bool put_in_place = false);
    [[nodiscard]] bool ended() const;
    // The system's reason when a write or the sync failed.
    [[nodiscard]] std::error_code error() const;
    // Why the recording ended early; empty while it runs well.
    [[nodiscard]] std::string failure() const;
    [[nodiscard]] bool failed() const;

private:
    void run();
    bool take(std::size_t size);          // with mutex_ held: room for size more bytes?
    void fail(const std::error_code& ec); // with mutex_ held
    void wake_if_full();                  // with mutex_ held
    void close_tail();                    // with mutex_ held
    void encode_all(std::string_view raw, std::string& out) const;

    std::unique_ptr<Sink> sink_;
    std::size_t limit_;
    std::uint64_t origin_us_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::string start_; // the magic and header, until the thread writes them
    // The queue: raw records (format without CRC), in order. Copies gather in tail_, which
    // becomes a part of its own when shared memory follows.
    struct Part {
        std::shared_ptr<const void> owner;
        std::string_view raw;
    };
    std::vector<Part> parts_;
    std::string tail_;
    std::size_t queued_ = 0; // bytes in parts_ and tail_
    bool woken_ = false;     // the thread was woken for the queue as it is
    bool writing_ = false;
    bool draining_ = false;
    bool stopping_ = false;
    bool publish_at_end_ = false;
    bool header_written_ = false;
    bool ended_ = false;
    std::error_code error_;
    std::string failure_;
    std::thread thread_;
};

} // namespace trx::capture
