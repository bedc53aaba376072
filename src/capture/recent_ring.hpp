#pragma once

#include "capture/format.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
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

    // A place in the ring: what was appended after it can be read again, as it was stored.
    struct Mark {
        std::uint64_t chunk = 0; // counts every chunk the ring has had
        std::size_t offset = 0;
    };

    explicit RecentRing(std::chrono::microseconds span = k_default_span,
                        std::size_t max_bytes = k_default_max_bytes);

    // time_us: on one steady time line, never going backwards.
    void append(Kind kind, std::uint64_t time_us, std::string_view data);
    // The records of the span that ends at now_us, oldest first, times as appended.
    [[nodiscard]] std::vector<Record> recent(std::uint64_t now_us) const;
    // The memory held, all of it counted.
    [[nodiscard]] std::size_t bytes() const { return bytes_; }
    [[nodiscard]] std::size_t size() const { return records_; }
    [[nodiscard]] Mark end() const;
    // Calls f(chunk, raw) with the raw records (format.hpp's append_raw layout) appended since
    // mark, oldest first, one call per chunk, and moves mark to the end. raw stays as it is
    // while chunk lives, also on another thread and after the ring has dropped it. What the
    // ring has dropped before is skipped.
    template <class F> void since(Mark& mark, F&& f) const;

private:
    // Records are kept raw, back to back, in chunks that go whole: an append is a copy.
    struct Chunk {
        std::shared_ptr<RawBlock> raw; // shared with a recording's writer
        std::uint64_t newest_us = 0;
        std::size_t records = 0;
    };
    void drop_oldest();

    std::uint64_t span_us_;
    std::size_t max_bytes_;
    std::size_t chunk_bytes_;
    std::deque<Chunk> chunks_;
    std::uint64_t first_chunk_ = 0; // the number of chunks_.front(): how many have gone
    std::size_t bytes_ = 0;
    std::size_t records_ = 0;
};

template <class F> void RecentRing::since(Mark& mark, F&& f) const {
    const std::size_t first =
        mark.chunk > first_chunk_ ? static_cast<std::size_t>(mark.chunk - first_chunk_) : 0;
    for (std::size_t i = first; i < chunks_.size(); ++i) {
        const std::shared_ptr<const RawBlock> chunk = chunks_[i].raw;
        std::string_view raw = chunk->view();
        if (first_chunk_ + i == mark.chunk) {
            raw.remove_prefix(std::min(mark.offset, raw.size()));
        }
        if (!raw.empty()) {
            f(chunk, raw);
        }
    }
    mark = end();
}

// A capture file's bytes made of records on any time line: times count from the first.
[[nodiscard]] std::string encode_capture(const Header& header, const std::vector<Record>& records);

} // namespace trx::capture
