#include "capture/recent_ring.hpp"

namespace trx::capture {

RecentRing::RecentRing(std::chrono::microseconds span, std::size_t max_bytes)
    : span_us_(static_cast<std::uint64_t>(span.count())), max_bytes_(max_bytes) {}

void RecentRing::append(Kind kind, std::uint64_t time_us, std::string_view data) {
    const std::size_t cost = data.size() + k_record_cost;
    if (cost > max_bytes_) {
        // Only its newest part fits; the wire before it would go anyway.
        data = data.substr(data.size() - (max_bytes_ - k_record_cost));
    }
    forget_before(time_us > span_us_ ? time_us - span_us_ : 0);
    while (!records_.empty() && bytes_ + data.size() + k_record_cost > max_bytes_) {
        bytes_ -= records_.front().data.size() + k_record_cost;
        records_.pop_front();
    }
    records_.push_back({kind, time_us, std::string(data)});
    bytes_ += data.size() + k_record_cost;
}

void RecentRing::forget_before(std::uint64_t time_us) {
    while (!records_.empty() && records_.front().time_us < time_us) {
        bytes_ -= records_.front().data.size() + k_record_cost;
        records_.pop_front();
    }
}

std::vector<Record> RecentRing::recent(std::uint64_t now_us) const {
    const std::uint64_t from = now_us > span_us_ ? now_us - span_us_ : 0;
    std::vector<Record> out;
    for (const auto& r : records_) {
        if (r.time_us >= from && r.time_us <= now_us) {
            out.push_back(r);
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
