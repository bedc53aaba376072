#include "flashlib/inflate.hpp"

#include <algorithm>
#include <array>

namespace trx::flash::deflate {

namespace {

constexpr int k_max_bits = k_max_code_bits;
constexpr std::size_t k_distance_codes = 30;
constexpr int k_end_of_block = 256;

constexpr std::array<std::uint16_t, 29> k_length_base = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> k_length_extra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> k_distance_base = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> k_distance_extra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                           4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                           9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code lengths of its code-length code.
constexpr std::array<std::uint8_t, 19> k_length_order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

} // namespace

// Reads the pending input from its first byte, with the bits left over from the bytes before.
class StreamInflater::Bits {
public:
    Bits(std::span<const std::uint8_t> in, std::uint32_t buffer, int have)
        : in_(in), buffer_(buffer), have_(have) {}

    std::uint32_t take(int n) {
        while (have_ < n) {
            if (pos_ == in_.size()) {
                overrun_ = true;
                return 0;
            }
            buffer_ |= std::uint32_t{in_[pos_++]} << have_;
            have_ += 8;
        }
        const std::uint32_t v = buffer_ & ((1U << n) - 1U);
        buffer_ >>= n;
        have_ -= n;
        return v;
    }
    // Stored blocks start at a byte: the rest of the current one is padding.
    void to_byte() {
        buffer_ = 0;
        have_ = 0;
    }
    // Whole bytes as they stand, at most `n`, when the reader is at a byte boundary.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        const auto got = in_.subspan(pos_, std::min(n, in_.size() - pos_));
        pos_ += got.size();
        return got;
    }
    [[nodiscard]] bool overrun() const { return overrun_; }
    [[nodiscard]] std::size_t pos() const { return pos_; }
    [[nodiscard]] std::uint32_t buffer() const { return buffer_; }
    [[nodiscard]] int have() const { return have_; }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    std::uint32_t buffer_ = 0;
    int have_ = 0;
    bool overrun_ = false;
};

namespace {

using Bits = StreamInflater::Bits;

// 0 for a complete code, > 0 for an incomplete one, < 0 for an over-subscribed one.
int build(Code& c, std::span<const std::uint8_t> lengths) {
    c.count.fill(0);
    for (std::uint8_t l : lengths) {
        ++c.count[l];
    }
    if (c.count[0] == lengths.size()) {
        return 0; // no codes: complete, and decoding any symbol fails
    }
    int left = 1;
    for (int len = 1; len <= k_max_bits; ++len) {
        left = left * 2 - c.count[static_cast<std::size_t>(len)];
        if (left < 0) {
            return left;
        }
    }
    std::array<std::uint16_t, k_max_bits + 1> offsets{};
    for (int len = 1; len < k_max_bits; ++len) {
        offsets[static_cast<std::size_t>(len + 1)] = static_cast<std::uint16_t>(
            offsets[static_cast<std::size_t>(len)] + c.count[static_cast<std::size_t>(len)]);
    }
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] != 0) {
            c.symbol[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
        }
    }
    return left;
}

// A symbol, or -1 for none. Bits past the input's end read as 0: the caller asks overrun()
// before it trusts the symbol.
int decode(Bits& bits, const Code& c) {
    int code = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len <= k_max_bits; ++len) {
        code |= static_cast<int>(bits.take(1));
        const int count = c.count[static_cast<std::size_t>(len)];
        if (code - count < first) {
            return c.symbol[static_cast<std::size_t>(index + (code - first))];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
        if (bits.overrun()) {
            return -1;
        }
    }
    return -1;
}

// The code lengths of a dynamic block's two codes, run-length coded with `length_code`.
bool read_lengths(Bits& bits, const Code& length_code, std::span<std::uint8_t> lengths) {
    std::size_t i = 0;
    while (i < lengths.size()) {
        const int symbol = decode(bits, length_code);
        if (symbol < 0 || bits.overrun()) {
            return false;
        }
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t value = 0;
        std::size_t repeat = 0;
        if (symbol == 16) {
            if (i == 0) {
                return false; // nothing to repeat
            }
            value = lengths[i - 1];
            repeat = 3 + bits.take(2);
        } else if (symbol == 17) {
            repeat = 3 + bits.take(3);
        } else {
            repeat = 11 + bits.take(7);
        }
        if (bits.overrun() || repeat > lengths.size() - i) {
            return false;
        }
        for (; repeat > 0; --repeat) {
            lengths[i++] = value;
        }
    }
    return true;
}

void build_fixed(Code& litlen, Code& distance) {
    std::array<std::uint8_t, k_litlen_codes> lengths{};
    for (std::size_t s = 0; s < k_litlen_codes; ++s) {
        lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    build(litlen, lengths);
    std::array<std::uint8_t, k_distance_codes> distance_lengths{};
    distance_lengths.fill(5);
    build(distance, distance_lengths);
}

} // namespace

using Result = StreamInflater::Result;

// Each step is whole or not taken: when the input ends inside it, nothing of it is kept and it
// is read again from its start once the next piece is in.
Result StreamInflater::feed(std::span<const std::uint8_t> piece, std::span<std::uint8_t> run) {
    if (phase_ == Phase::bad || (phase_ == Phase::done && !piece.empty())) {
        phase_ = Phase::bad;
        return Result::bad;
    }
    if (end_ > run.size() || out_ > end_) {
        phase_ = Phase::bad;
        return Result::bad;
    }
    pending_.insert(pending_.end(), piece.begin(), piece.end());
    Bits bits(pending_, bit_buffer_, bit_count_);
    std::size_t consumed = 0;
    while (phase_ != Phase::done) {
        const Step s = step(bits, run);
        if (s == Step::bad) {
            phase_ = Phase::bad;
            return Result::bad;
        }
        if (s == Step::more) {
            break;
        }
        consumed = bits.pos();
        bit_buffer_ = bits.buffer();
        bit_count_ = bits.have();
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed));
    if (phase_ != Phase::done) {
        return Result::more;
    }
    if (!pending_.empty() || out_ != end_) {
        phase_ = Phase::bad; // whole bytes after the last block, or the wrong length
        return Result::bad;
    }
    return Result::finished;
}

StreamInflater::Step StreamInflater::step(Bits& bits, std::span<std::uint8_t> run) {
    switch (phase_) {
    case Phase::header:
        return header(bits);
    case Phase::stored:
        return stored(bits, run);
    case Phase::codes:
        return token(bits, run);
    case Phase::done:
        return Step::done;
    case Phase::bad:
        break;
    }
    return Step::bad;
}

StreamInflater::Step StreamInflater::header(Bits& bits) {
    const bool last = bits.take(1) != 0;
    const std::uint32_t type = bits.take(2);
    if (bits.overrun()) {
        return Step::more;
    }
    Step s = Step::bad;
    if (type == 0) {
        bits.to_byte();
        const std::uint32_t length = bits.take(16);
        const std::uint32_t check = bits.take(16);
        if (bits.overrun()) {
            return Step::more;
        }
        if ((length ^ 0xFFFFU) != check || length > end_ - out_) {
            return Step::bad;
        }
        stored_left_ = length;
        phase_ = Phase::stored;
        s = Step::done;
    } else if (type == 1) {
        build_fixed(litlen_, distance_);
        phase_ = Phase::codes;
        s = Step::done;
    } else if (type == 2) {
        s = dynamic_tables(bits);
    }
    if (s == Step::done) {
        last_ = last;
        if (phase_ == Phase::stored && stored_left_ == 0) {
            phase_ = last_ ? Phase::done : Phase::header;
        }
    }
    return s;
}

StreamInflater::Step StreamInflater::dynamic_tables(Bits& bits) {
    const std::size_t nlen = bits.take(5) + 257;
    const std::size_t ndist = bits.take(5) + 1;
    const std::size_t ncode = bits.take(4) + 4;
    if (bits.overrun()) {
        return Step::more;
    }
    if (nlen > 286 || ndist > k_distance_codes) {
        return Step::bad;
    }
    std::array<std::uint8_t, 19> code_lengths{};
    for (std::size_t i = 0; i < ncode; ++i) {
        code_lengths[k_length_order[i]] = static_cast<std::uint8_t>(bits.take(3));
    }
    if (bits.overrun()) {
        return Step::more;
    }
    Code length_code;
    if (build(length_code, code_lengths) != 0) {
        return Step::bad; // the code-length code must be complete
    }
    std::array<std::uint8_t, 286 + k_distance_codes> lengths{};
    if (!read_lengths(bits, length_code, std::span(lengths).first(nlen + ndist))) {
        return bits.overrun() ? Step::more : Step::bad;
    }
    if (lengths[k_end_of_block] == 0) {
        return Step::bad; // a block without its end cannot end
    }
    // Incomplete codes are allowed for a single code only (RFC 1951, 3.2.7).
    Code litlen;
    Code distance;
    const int l = build(litlen, std::span(lengths).first(nlen));
    if (l < 0 || (l > 0 && nlen - litlen.count[0] != 1)) {
        return Step::bad;
    }
    const int d = build(distance, std::span(lengths).subspan(nlen, ndist));
    if (d < 0 || (d > 0 && ndist - distance.count[0] != 1)) {
        return Step::bad;
    }
    litlen_ = litlen;
    distance_ = distance;
    phase_ = Phase::codes;
    return Step::done;
}

StreamInflater::Step StreamInflater::stored(Bits& bits, std::span<std::uint8_t> run) {
    const auto got = bits.bytes(stored_left_);
    if (got.empty()) {
        return Step::more;
    }
    std::copy(got.begin(), got.end(), run.begin() + static_cast<std::ptrdiff_t>(out_));
    out_ += got.size();
    stored_left_ -= static_cast<std::uint32_t>(got.size());
    if (stored_left_ == 0) {
        phase_ = last_ ? Phase::done : Phase::header;
    }
    return Step::done;
}

// One literal, one match or the block's end.
StreamInflater::Step StreamInflater::token(Bits& bits, std::span<std::uint8_t> run) {
    const int symbol = decode(bits, litlen_);
    if (bits.overrun()) {
        return Step::more;
    }
    if (symbol < 0) {
        return Step::bad;
    }
    if (symbol < k_end_of_block) {
        if (out_ == end_) {
            return Step::bad;
        }
        run[out_++] = static_cast<std::uint8_t>(symbol);
        return Step::done;
    }
    if (symbol == k_end_of_block) {
        phase_ = last_ ? Phase::done : Phase::header;
        return Step::done;
    }
    const auto l = static_cast<std::size_t>(symbol - 257);
    if (l >= k_length_base.size()) {
        return Step::bad;
    }
    const std::size_t length = k_length_base[l] + bits.take(k_length_extra[l]);
    const int d = decode(bits, distance_);
    if (bits.overrun()) {
        return Step::more;
    }
    if (d < 0 || static_cast<std::size_t>(d) >= k_distance_codes) {
        return Step::bad;
    }
    const auto di = static_cast<std::size_t>(d);
    const std::size_t distance = k_distance_base[di] + bits.take(k_distance_extra[di]);
    if (bits.overrun()) {
        return Step::more;
    }
    if (distance > out_ || length > end_ - out_) {
        return Step::bad;
    }
    for (std::size_t i = 0; i < length; ++i, ++out_) {
        run[out_] = run[out_ - distance];
    }
    return Step::done;
}

bool inflate_piece(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                   std::size_t offset, std::size_t count) {
    if (offset > run.size() || count > run.size() - offset) {
        return false;
    }
    StreamInflater stream(offset, offset + count);
    return stream.feed(in, run) == StreamInflater::Result::finished;
}

} // namespace trx::flash::deflate
