#include "sim/frame_assembler.hpp"

#include "base/numtext.hpp"
#include "sim/wire.hpp"

namespace trx::sim {

void FrameAssembler::reset() {
    body_.clear();
    collecting_ = false;
    overflow_ = false;
}

void FrameAssembler::feed(char c) {
    if (c == wire::k_stx) {
        reset();
        collecting_ = true;
        return;
    }
    if (!collecting_) {
        return;
    }
    if (c == wire::k_etx) {
        end_of_frame();
        return;
    }
    if (body_.size() >= k_max_body) {
        overflow_ = true;
        return;
    }
    body_ += c;
}

void FrameAssembler::end_of_frame() {
    // The handler may reset the assembler (a reset command), so it works on its own copy.
    const std::string frame = std::move(body_);
    const bool overflow = overflow_;
    reset();
    // Letter and two checksum digits at least; both digits must be hex.
    if (overflow || frame.size() < 3) {
        return;
    }
    const std::string_view body(frame);
    const int hi = num::hex_digit(body[body.size() - 2]);
    const int lo = num::hex_digit(body[body.size() - 1]);
    if (hi < 0 || lo < 0) {
        return;
    }
    const char letter = body.front();
    const std::string_view payload = body.substr(1, body.size() - 3);
    if ((wire::sum(letter, payload) & 0xFFU) != static_cast<std::uint32_t>(hi * 16 + lo)) {
        return;
    }
    on_frame_(letter, payload);
}

} // namespace trx::sim
