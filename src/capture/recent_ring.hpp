#pragma once

#include "capture/format.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace trx::capture {

// The last stretch of the wire, always in memory: records older than the span go, and so do
// the oldest ones whenever the memory they hold would pass max_bytes, whatever arrives.
class RecentRing {
public:
    static constexpr std::chrono::microseconds k_default_span = std::chrono::minutes(10);
    static constexpr std::size_t k_default_max_bytes = 16U << 20;
    // What one record costs beyond its data: its kind, time and length.
    static constexpr std::size_t k_record_cost = k_record_head;

    explicit RecentRing(std::chrono::microseconds span = k_default_span,
                        std::size_t max_bytes = k_default_max_bytes);

    // time_us: on one steady time line, never going backwards.
    void append(Kind kind, std::uint64_t time_us, std::string_view data);
    // The records of the span that ends at now_us, oldest first, times as appended.
    [[nodiscard]] std::vector<Record> recent(std::uint64_t now_us) const;
    // The memory held, all of it counted.
    [[nodiscard]] std::size_t bytes() const { return bytes_; }
    [[nodiscard]] std::size_t size() const { return records_; }

private:
    // Records are kept raw, back to back, in chunks that go whole: an append is a copy.
    struct Chunk {
        RawBlock raw;
        std::uint64_t newest_us = 0;
        std::size_t records = 0;
    };
    void drop_oldest();

    std::uint64_t span_us_;
    std::size_t max_bytes_;
    std::size_t chunk_bytes_;
    std::deque<Chunk> chunks_;
    std::size_t bytes_ = 0;
    std::size_t records_ = 0;
};

// A capture file's bytes made of records on any time line: times count from the first.
[[nodiscard]] std::string encode_capture(const Header& header, const std::vector<Record>& records);

} // namespace trx::capture
