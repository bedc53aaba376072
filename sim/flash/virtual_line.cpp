#include "sim/flash/virtual_line.hpp"

#include <algorithm>

namespace trx::sim {

void VirtualLine::schedule(std::deque<Timed>& queue, Duration& line_free, std::string_view bytes) {
    const Duration per_byte = config_.bytes_per_second == 0
                                  ? Duration::zero()
                                  : Duration(std::chrono::seconds(1)) / config_.bytes_per_second;
    for (char c : bytes) {
        line_free = std::max(line_free, now_) + per_byte;
        queue.push_back(Timed{line_free, c});
    }
}

bool VirtualLine::write(std::string_view bytes) {
    bytes_to_target_ += bytes.size();
    schedule(to_target_, target_line_free_, bytes);
    return true;
}

void VirtualLine::step_to(Duration t) {
    scratch_.clear();
    while (!to_target_.empty() && to_target_.front().at <= t) {
        scratch_.push_back(to_target_.front().byte);
        to_target_.pop_front();
    }
    now_ = t;
    std::string out;
    if (!scratch_.empty()) {
        target_.receive(scratch_, t, out);
    }
    target_.poll(t, out);
    schedule(to_host_, host_line_free_, out);
}

bool VirtualLine::read(std::string& into, Duration timeout) {
    const Duration deadline = now_ + std::max(timeout, Duration::zero());
    for (;;) {
        bool got = false;
        while (!to_host_.empty() && to_host_.front().at <= now_) {
            into.push_back(to_host_.front().byte);
            to_host_.pop_front();
            got = true;
        }
        if (got || now_ >= deadline) {
            return true;
        }
        step_to(std::min(now_ + tick(), deadline));
    }
}

void VirtualLine::flush_input() {
    while (!to_host_.empty() && to_host_.front().at <= now_) {
        to_host_.pop_front();
    }
}

void VirtualLine::advance(Duration d) {
    const Duration end = now_ + d;
    while (now_ < end) {
        step_to(std::min(now_ + tick(), end));
    }
}

} // namespace trx::sim
