#include "capture/recent_ring.hpp"

#include <algorithm>

namespace trx::capture {

RecentRing::RecentRing(std::chrono::microseconds span, std::size_t max_bytes)
    : span_us_(static_cast<std::uint64_t>(span.count())), max_bytes_(max_bytes),
      chunk_bytes_(std::clamp<std::size_t>(max_bytes / 256, 256, 64U << 10)) {}

void RecentRing::append(Kind kind, std::uint64_t time_us, std::string_view data) {
    const std::size_t room = max_bytes_ - chunk_bytes_ - k_record_cost;
    if (data.size() > room) {
        // Only its newest part fits; the wire before it would go anyway.
        data = data.substr(data.size() - room);
    }
    const std::uint64_t from = time_us > span_us_ ? time_us - span_us_ : 0;
    while (!chunks_.empty() && chunks_.front().newest_us < from) {
        drop_oldest();
    }
    const std::size_t need = data.size() + k_record_cost;
    if (chunks_.empty() || !chunks_.back().raw->fits(data.size())) {
        const std::size_t capacity = std::max(chunk_bytes_, need);
        while (!chunks_.empty() && bytes_ + capacity > max_bytes_) {
            drop_oldest();
        }
        chunks_.push_back({std::make_shared<RawBlock>(capacity)});
        bytes_ += capacity;
    }
    Chunk& c = chunks_.back();
    c.raw->append(kind, time_us, data);
    c.newest_us = time_us;
    ++c.records;
    ++records_;
}

void RecentRing::drop_oldest() {
    bytes_ -= chunks_.front().raw->capacity();
    records_ -= chunks_.front().records;
    chunks_.pop_front();
    ++first_chunk_;
}

RecentRing::Mark RecentRing::end() const {
    if (chunks_.empty()) {
        return {first_chunk_, 0};
    }
    return {first_chunk_ + chunks_.size() - 1, chunks_.back().raw->view().size()};
}

std::vector<Record> RecentRing::recent(std::uint64_t now_us) const {
    const std::uint64_t from = now_us > span_us_ ? now_us - span_us_ : 0;
    std::vector<Record> out;
    for (const auto& c : chunks_) {
        if (c.newest_us < from) {
            continue;
        }
        std::size_t pos = 0;
        Kind kind{};
        std::uint64_t time = 0;
        std::string_view data;
        while (next_raw(c.raw->view(), pos, kind, time, data)) {
            if (time >= from && time <= now_us) {
                out.push_back({kind, time, std::string(data)});
            }
        }
    }
    return out;
}

std::string encode_capture(const Header& header, const std::vector<Record>& records) {
    std::string out = file_start(header);
    const std::uint64_t origin = records.empty() ? 0 : records.front().time_us;
    for (const auto& r : records) {
        encode(r.kind, r.time_us - origin, r.data, out);
    }
    return out;
}

} // namespace trx::capture
