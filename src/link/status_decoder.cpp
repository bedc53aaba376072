#include "link/status_decoder.hpp"

#include "base/fault.hpp"

namespace trx::link {

std::int64_t half_to_even(std::int64_t a) {
    if (a % 2 == 0) {
        return a / 2;
    }
    const std::int64_t below = (a - 1) / 2; // exact: a - 1 is even
    return below % 2 == 0 ? below : below + 1;
}

StatusDecoder::StatusDecoder(const ReceivedFrame& frame, const StatusContext& context)
    : frame_(frame), context_(context), ya_(context.type == k_type_ya),
      record_length_(ya_ ? 10 : 8) {
    header_.resolution_field = frame_.hex_u16(1);
    header_.resolution = header_.resolution_field > 0
                             ? std::optional<std::int32_t>(header_.resolution_field + 1)
                             : context_.shown_resolution;
    header_.temperature = static_cast<std::int32_t>(frame_.hex(5, 2)) - 127;
    header_.status_word = frame_.hex_s16(7);
}

std::optional<StripeRecord> StatusDecoder::next_record() {
    // The record must end before the first checksum digit at count - 2; a shorter tail
    // would be read from the checksum and from bytes an earlier frame left behind.
    if (pos_ + record_length_ > frame_.count() - 2) {
        return std::nullopt;
    }
    current_.start = frame_.hex_u16(pos_);
    current_.width = frame_.hex_u16(pos_ + 4);
    current_.code = ya_ ? static_cast<std::int32_t>(frame_.hex(pos_ + 8, 2)) : 0;
    pos_ += record_length_;
    ++k_;
    return current_;
}

std::int64_t StatusDecoder::resolution() const {
    if (!header_.resolution || *header_.resolution <= 0) {
        throw Fault("the resolution has not been shown yet");
    }
    return *header_.resolution;
}

bool StatusDecoder::gap_recorded(std::int64_t gap) const {
    if (!ya_) {
        return true;
    }
    if (!context_.max_modul) {
        throw Fault("the max. modul width is not a number");
    }
    return gap < *context_.max_modul;
}

Stripe StatusDecoder::derive() {
    Stripe s;
    s.k = k_;
    s.record = current_;
    const std::int64_t r = resolution();
    s.end = std::int64_t{current_.start} + current_.width;
    if (s.end > r) {
        s.end -= r; // a sum equal to R stays R
    }
    if (k_ > 1) {
        const std::int64_t e = previous_end_;
        const std::int64_t gap = current_.start < e ? r + current_.start - e : current_.start - e;
        if (gap_recorded(gap)) {
            s.gap = gap;
        }
        if (ya_ && current_.code != 0) {
            const std::int64_t from = previous_.start;
            s.tag_width = s.end < from ? r - from + s.end : s.end - from;
            // No wrap here: a tag across angle zero may get a negative angle.
            s.tag_angle = half_to_even(2 * s.end - *s.tag_width);
        }
    } else {
        first_ = current_;
        first_end_ = s.end;
    }
    previous_ = current_;
    previous_end_ = s.end;
    return s;
}

std::optional<FirstStripe> StatusDecoder::complete_first() {
    if (!ya_ || k_ == 0) {
        return std::nullopt;
    }
    const std::int64_t r = resolution();
    FirstStripe f;
    f.code = first_.code;
    const std::int64_t last_end = previous_end_;
    const std::int64_t g =
        last_end > first_.start ? r - last_end + first_.start : first_.start - last_end;
    if (gap_recorded(g)) {
        f.gap = g;
    }
    if (first_.code != 0) {
        f.tag_width = r - previous_.start + first_end_;
        std::int64_t angle = half_to_even(2 * first_end_ - *f.tag_width);
        if (angle < 0) {
            angle += r;
        }
        f.tag_angle = angle;
    }
    return f;
}

StatusFrame decode_status(const ReceivedFrame& frame, const StatusContext& context) {
    StatusDecoder decoder(frame, context);
    StatusFrame out;
    out.header = decoder.header();
    while (decoder.next_record()) {
        out.stripes.push_back(decoder.derive());
    }
    out.first = decoder.complete_first();
    return out;
}

} // namespace trx::link
