#include "link/frame_writer.hpp"

#include "base/fault.hpp"
#include "link/frame.hpp"

namespace trx::link {

bool FrameWriter::start(char letter) {
    frame_.clear();
    open_ = false;
    if (!out_.is_open()) {
        return false;
    }
    frame_ += k_stx;
    frame_ += letter;
    shared_.checksum_accumulator = static_cast<unsigned char>(letter);
    open_ = true;
    return true;
}

void FrameWriter::add(std::string_view payload) {
    if (!open_) {
        return;
    }
    for (char c : payload) {
        std::int32_t next = 0;
        if (__builtin_add_overflow(shared_.checksum_accumulator,
                                   static_cast<std::int32_t>(static_cast<unsigned char>(c)),
                                   &next)) {
            open_ = false;
            throw Fault("checksum accumulator overflow");
        }
        shared_.checksum_accumulator = next;
        frame_ += c;
    }
}

bool FrameWriter::finish() {
    if (!open_) {
        return false;
    }
    open_ = false;
    const auto cs = checksum_digits(shared_.checksum_accumulator);
    frame_ += cs[0];
    frame_ += cs[1];
    frame_ += k_etx;
    return out_.write(frame_);
}

bool FrameWriter::send(char letter, std::string_view payload) {
    if (!start(letter)) {
        return false;
    }
    add(payload);
    return finish();
}

} // namespace trx::link
