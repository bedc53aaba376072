#pragma once

#include "capture/format.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trx::capture {

// Where a reader takes its bytes from: a file or memory.
class Source {
public:
    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    Source(Source&&) = delete;
    Source& operator=(Source&&) = delete;
    virtual ~Source() = default;
    // Up to size bytes; fewer only at the end.
    virtual std::size_t read(char* to, std::size_t size) = 0;
};

// Reads a capture record by record, so a large file never sits in memory. A file that is
// empty, of another format or larger than k_max_file is refused before its first record; a
// bad record (cut short, damaged, time going backwards) ends the reading, with its reason.
class Reader {
public:
    // Twelve hours at the full line rate fit; a file beyond that is not a recording of ours.
    static constexpr std::uint64_t k_max_file = 256ULL << 20;

    static Reader open(const std::filesystem::path& path);
    // bytes must outlive the reader.
    static Reader of_bytes(std::string_view bytes);

    // Why the file is not read at all; empty when it is.
    [[nodiscard]] const std::string& refusal() const { return refusal_; }
    [[nodiscard]] bool refused() const { return !refusal_.empty(); }
    [[nodiscard]] const Header& header() const { return header_; }
    // The next record after the header; nullopt at the end or at a bad record.
    std::optional<Record> next();
    // Why reading stopped before the end; empty at a clean end (or while reading).
    [[nodiscard]] const std::string& stop_reason() const { return stop_; }

private:
    Reader(std::unique_ptr<Source> source, std::uint64_t size);
    void read_header();
    std::optional<Record> read_record();
    std::optional<Record> stop(std::string why);

    std::unique_ptr<Source> source_;
    std::string refusal_;
    std::string stop_;
    Header header_;
    std::uint64_t offset_ = 0;
    std::uint64_t last_time_ = 0;
    bool ended_ = false;
};

// A whole capture in memory: for tests and small files.
struct Capture {
    std::string refusal; // empty when read
    Header header;
    std::vector<Record> records;
    std::string stop_reason; // empty at a clean end
};
[[nodiscard]] Capture read_all(Reader reader);

} // namespace trx::capture
