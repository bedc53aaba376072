#include "flashlib/block_sender.hpp"

#include "base/numtext.hpp"

namespace trx::flash {

using proto::Status;

std::string BlockSender::name_of(const Slot& slot) const {
    return "DATA at 0x" + num::hex_upper(blocks_[slot.index].address, 6);
}

bool BlockSender::transmit(Slot& slot) {
    const Block& b = blocks_[slot.index];
    proto::Frame f{proto::Type::data, seq_of(slot.index),
                   proto::Writer().u32(b.address).bytes(b.data).take()};
    ++slot.transmissions;
    ++counts_.frames;
    if (slot.transmissions > 1) {
        ++counts_.retransmissions;
    }
    slot.sent_at = link_.now();
    return link_.send(f);
}

Outcome BlockSender::resend_from(std::size_t pos, Cause cause, std::uint32_t info) {
    const Slot& first = open_[pos];
    if (first.transmissions > proto::k_retries) {
        const std::string n = num::dec(first.transmissions) + " transmissions";
        switch (cause) {
        case Cause::timeout:
            return Outcome::failure("no answer from the target to " + name_of(first) + " after " +
                                    n);
        case Cause::damaged:
            return Outcome::failure("the target reports damaged frames for " + name_of(first) +
                                    " after " + n);
        case Cause::verify:
            return Outcome::failure("verify failed at 0x" + num::hex_upper(info, 6) + " (" +
                                    name_of(first) + ", " + n + ")");
        }
    }
    for (std::size_t i = pos; i < open_.size(); ++i) {
        if (!transmit(open_[i])) {
            return Outcome::failure(link_.line_failure());
        }
    }
    return {};
}

Outcome BlockSender::on_answer(const proto::Frame& f) {
    const auto ack = proto::parse_ack(f);
    if (!ack) {
        return {};
    }
    std::size_t pos = 0;
    while (pos < open_.size() && seq_of(open_[pos].index) != f.seq) {
        ++pos;
    }
    if (pos == open_.size()) {
        return {}; // a late repeat
    }
    switch (ack->status) {
    case Status::ok: {
        // The target works in order: this OK covers every older block too.
        for (std::size_t i = 0; i <= pos; ++i) {
            const auto bytes = static_cast<std::int64_t>(blocks_[open_[i].index].data.size());
            counts_.payload_bytes += bytes;
            if (on_acked_) {
                on_acked_(bytes);
            }
        }
        open_.erase(open_.begin(), open_.begin() + static_cast<std::ptrdiff_t>(pos) + 1);
        return {};
    }
    case Status::busy:
        for (Slot& s : open_) {
            s.sent_at = link_.now();
        }
        return {};
    case Status::crc_error:
        return resend_from(pos, Cause::damaged, ack->info);
    case Status::verify_failed:
        return resend_from(pos, Cause::verify, ack->info);
    default:
        return Outcome::failure(describe_refusal(*ack, name_of(open_[pos])));
    }
}

Outcome BlockSender::send(std::span<const Block> blocks) {
    blocks_ = blocks;
    open_.clear();
    first_seq_ = link_.take_seqs(blocks.size());
    std::size_t next = 0;
    while (next < blocks.size() || !open_.empty()) {
        while (open_.size() < proto::k_window && next < blocks.size()) {
            open_.push_back(Slot{next++, 0, {}});
            if (!transmit(open_.back())) {
                return Outcome::failure(link_.line_failure());
            }
        }
        Incoming in = link_.receive(open_.front().sent_at + proto::k_ack_timeout);
        Outcome step;
        switch (in.kind) {
        case Incoming::Kind::failed:
            return Outcome::failure(link_.line_failure());
        case Incoming::Kind::timeout:
            step = resend_from(0, Cause::timeout, 0);
            break;
        case Incoming::Kind::frame:
            step = on_answer(in.frame);
            break;
        }
        if (!step.ok()) {
            return step;
        }
    }
    return {};
}

} // namespace trx::flash
