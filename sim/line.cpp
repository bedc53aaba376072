#include "sim/line.hpp"

namespace trx::sim {

namespace {
constexpr std::int64_t k_ns_per_second = 1'000'000'000;
} // namespace

std::chrono::nanoseconds Line::departure(std::int64_t byte_no) const {
    // Byte n (from 0) of a busy stretch has left when its ten bits are out.
    return epoch_ + std::chrono::nanoseconds((byte_no + 1) * k_ns_per_second / bytes_per_second_);
}

void Line::settle(std::chrono::nanoseconds now) {
    const std::size_t before = head_;
    while (head_ < waiting_.size() && departure(sent_) <= now) {
        ++head_;
        ++sent_;
    }
    ready_.append(waiting_, before, head_ - before);
    if (head_ == waiting_.size()) {
        waiting_.clear();
        head_ = 0;
    } else if (head_ > 4096) {
        // A line that never runs dry must not keep what it sent long ago.
        waiting_.erase(0, head_);
        head_ = 0;
    }
}

void Line::set_rate(std::uint32_t baud, std::chrono::nanoseconds now) {
    if (paced_) {
        settle(now);
        epoch_ = now;
        sent_ = 0;
    }
    bytes_per_second_ = k_bytes_per_second * baud / 57600;
}

void Line::queue(std::string_view bytes, std::chrono::nanoseconds now) {
    if (!paced_) {
        ready_ += bytes;
        return;
    }
    settle(now);
    if (waiting_.empty()) {
        // The line was idle: a new busy stretch starts now.
        epoch_ = now;
        sent_ = 0;
    }
    waiting_ += bytes;
}

std::size_t Line::backlog(std::chrono::nanoseconds at) {
    if (paced_) {
        settle(at);
    }
    return backlog();
}

std::string Line::take(std::chrono::nanoseconds now) {
    if (paced_) {
        settle(now);
    }
    std::string out;
    out.swap(ready_);
    return out;
}

void Line::clear() {
    waiting_.clear();
    head_ = 0;
    ready_.clear();
}

std::optional<std::chrono::nanoseconds> Line::next_departure() const {
    if (!ready_.empty()) {
        return epoch_; // already due
    }
    if (head_ >= waiting_.size()) {
        return std::nullopt;
    }
    return departure(sent_);
}

} // namespace trx::sim
