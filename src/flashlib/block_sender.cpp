#include "flashlib/block_sender.hpp"

#include "base/numtext.hpp"

namespace trx::flash {

using proto::Status;

std::string BlockSender::name_of(const Slot& slot) const {
    const Outgoing& o = frames_[slot.index];
    return std::string(proto::type_name(o.type)) + " at 0x" + num::hex_upper(o.address, 6);
}

// Why frames go again, and how many: "no answer to DATA at 0x000100 within 500 ms: go-back, 2
// frames again, transmission 2 of 4".
std::string BlockSender::retry_text(const Slot& first, Cause cause, std::uint32_t info,
                                    std::size_t pos) const {
    std::string why;
    switch (cause) {
    case Cause::timeout:
        why = "no answer to " + name_of(first) + " within " +
              num::dec(std::chrono::duration_cast<std::chrono::milliseconds>(proto::k_ack_timeout)
                           .count()) +
              " ms";
        break;
    case Cause::damaged:
        why = "the target reports a damaged frame for " + name_of(first);
        break;
    case Cause::verify:
        why = "verify failed at 0x" + num::hex_upper(info, 6) + " for " + name_of(first);
        break;
    }
    const auto again = static_cast<std::int64_t>(open_.size() - pos);
    return why + ": go-back, " + num::dec(again) + (again == 1 ? " frame" : " frames") +
           " again, transmission " + num::dec(first.transmissions + 1) + " of " +
           num::dec(1 + proto::k_retries);
}

bool BlockSender::transmit(Slot& slot) {
    const Outgoing& o = frames_[slot.index];
    ++slot.transmissions;
    ++counts_.frames;
    if (o.type == proto::Type::zdata || o.type == proto::Type::zrun) {
        ++counts_.compressed_frames;
    }
    if (slot.transmissions > 1) {
        ++counts_.retransmissions;
    } else {
        slot.first_sent_at = link_.now();
    }
    slot.sent_at = link_.now();
    return link_.send(proto::Frame{o.type, seq_of(slot.index), o.payload});
}

// A target that answers BUSY for ever must not hold the run.
Outcome BlockSender::overdue() const {
    const Slot& oldest = open_.front();
    if (link_.now() - oldest.first_sent_at < proto::k_data_limit) {
        return {};
    }
    return Outcome::failure(
        name_of(oldest) + " did not finish within " +
        num::dec(std::chrono::duration_cast<std::chrono::seconds>(proto::k_data_limit).count()) +
        " s");
}

// After a run of damaged exchanges at a raised rate: the rate goes down and every open frame
// goes again, its transmissions counted afresh (the line was at fault, not the frame).
std::optional<Outcome> BlockSender::lowered() {
    damaged_run_ += static_cast<int>(link_.damaged_frames() - damaged_seen_);
    damaged_seen_ = link_.damaged_frames();
    if (damaged_run_ < proto::k_step_down_after) {
        return std::nullopt;
    }
    auto o = link_.lower_rate();
    if (!o) {
        return std::nullopt;
    }
    damaged_run_ = 0;
    damaged_seen_ = link_.damaged_frames();
    if (!o->ok()) {
        return o;
    }
    for (Slot& slot : open_) {
        slot.transmissions = 0;
        slot.first_sent_at = link_.now();
        if (!transmit(slot)) {
            return Outcome::failure(link_.line_failure());
        }
    }
    return Outcome{};
}

Outcome BlockSender::resend_from(std::size_t pos, Cause cause, std::uint32_t info) {
    if (cause != Cause::verify) {
        ++damaged_run_;
        if (auto o = lowered()) {
            return *o;
        }
    }
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
    link_.log()(LogLevel::warning, [&] { return retry_text(first, cause, info, pos); });
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
        link_.log()(LogLevel::debug,
                    [&] { return "ignored: seq " + num::dec(f.seq) + " is not awaited"; });
        return {}; // a late repeat
    }
    switch (ack->status) {
    case Status::ok: {
        damaged_run_ = 0;
        damaged_seen_ = link_.damaged_frames();
        // The target works in order: this OK covers every older block too.
        for (std::size_t i = 0; i <= pos; ++i) {
            const std::int64_t bytes = frames_[open_[i].index].data_bytes;
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

Outcome BlockSender::send(std::span<const Outgoing> frames) {
    frames_ = frames;
    open_.clear();
    first_seq_ = link_.take_seqs(frames.size());
    damaged_run_ = 0;
    damaged_seen_ = link_.damaged_frames();
    std::size_t next = 0;
    while (next < frames.size() || !open_.empty()) {
        while (open_.size() < proto::k_window && next < frames.size()) {
            open_.push_back(Slot{next++, 0, {}, {}});
            if (!transmit(open_.back())) {
                return Outcome::failure(link_.line_failure());
            }
        }
        if (Outcome late = overdue(); !late.ok()) {
            return late;
        }
        const Slot& oldest = open_.front();
        Incoming in = link_.receive(std::min(oldest.sent_at + proto::k_ack_timeout,
                                             oldest.first_sent_at + proto::k_data_limit));
        Outcome step;
        switch (in.kind) {
        case Incoming::Kind::failed:
            return Outcome::failure(link_.line_failure());
        case Incoming::Kind::timeout:
            step = link_.now() < oldest.sent_at + proto::k_ack_timeout
                       ? Outcome{}
                       : resend_from(0, Cause::timeout, 0);
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
