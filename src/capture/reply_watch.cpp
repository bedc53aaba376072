#include "capture/reply_watch.hpp"

#include "base/numtext.hpp"

#include <cstdint>
#include <cstring>

namespace trx::capture {

namespace {
constexpr char k_stx = '\x02';
constexpr char k_etx = '\x03';

// Letter, payload and two upper-case hex digits of the low 8 bits of their sum.
bool good_checksum(std::string_view body) {
    if (body.size() < 3) {
        return false;
    }
    std::uint32_t sum = 0;
    for (char c : body.substr(0, body.size() - 2)) {
        sum += static_cast<unsigned char>(c);
    }
    const int hi = num::hex_digit(body[body.size() - 2]);
    const int lo = num::hex_digit(body[body.size() - 1]);
    return hi >= 0 && lo >= 0 && (sum & 0xFFU) == static_cast<std::uint32_t>(hi * 16 + lo);
}
} // namespace

void ReplyWatch::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (state_ == State::between) {
            const void* stx = std::memchr(bytes.data(), k_stx, bytes.size());
            if (stx == nullptr) {
                return;
            }
            bytes.remove_prefix(static_cast<const char*>(stx) - bytes.data() + 1);
            state_ = State::letter;
            continue;
        }
        const char c = bytes.front();
        bytes.remove_prefix(1);
        if (state_ == State::letter) {
            state_ = c == 'W' ? State::collecting : State::between;
            frame_.assign(1, k_stx);
            frame_ += c;
            if (c == k_stx) {
                state_ = State::letter; // a new frame begins at once
            }
            continue;
        }
        if (c == k_stx) { // a frame cut short: start over with the new one
            state_ = State::letter;
            continue;
        }
        frame_ += c;
        if (c == k_etx) {
            end_of_frame();
        } else if (frame_.size() >= k_max_frame) {
            state_ = State::between; // too long for the scanner's reply
        }
    }
}

void ReplyWatch::end_of_frame() {
    state_ = State::between;
    const std::string_view body = std::string_view(frame_).substr(1, frame_.size() - 2);
    if (good_checksum(body)) {
        last_ = frame_;
    }
}

void ReplyWatch::clear() {
    state_ = State::between;
    frame_.clear();
    last_.clear();
}

} // namespace trx::capture
