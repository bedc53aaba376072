#include "flashlib/inflate.hpp"

#include <array>

namespace trx::flash::deflate {

namespace {

constexpr int k_max_bits = 15;
constexpr std::size_t k_litlen_codes = 288;
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

class Bits {
public:
    explicit Bits(std::span<const std::uint8_t> in) : in_(in) {}

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
    [[nodiscard]] bool overrun() const { return overrun_; }
    [[nodiscard]] bool at_end() const { return pos_ == in_.size(); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    std::uint32_t buffer_ = 0;
    int have_ = 0;
    bool overrun_ = false;
};

// A canonical Huffman code as counts per length and symbols in code order: decoding walks
// the lengths, no lookup table needed.
struct Code {
    std::array<std::uint16_t, k_max_bits + 1> count{};
    std::array<std::uint16_t, k_litlen_codes> symbol{};
};

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

class Inflater {
public:
    Inflater(std::span<const std::uint8_t> in, std::span<std::uint8_t> run, std::size_t offset,
             std::size_t count)
        : bits_(in), run_(run), out_(offset), end_(offset + count) {}

    bool run() {
        for (bool last = false; !last;) {
            last = bits_.take(1) != 0;
            bool ok = false;
            switch (bits_.take(2)) {
            case 0:
                ok = stored();
                break;
            case 1:
                ok = fixed();
                break;
            case 2:
                ok = dynamic();
                break;
            default:
                break;
            }
            if (!ok || bits_.overrun()) {
                return false;
            }
        }
        return bits_.at_end() && out_ == end_;
    }

private:
    bool stored() {
        bits_.to_byte();
        const std::uint32_t length = bits_.take(16);
        const std::uint32_t check = bits_.take(16);
        if (bits_.overrun() || (length ^ 0xFFFFU) != check || length > end_ - out_) {
            return false;
        }
        for (std::uint32_t i = 0; i < length; ++i) {
            run_[out_++] = static_cast<std::uint8_t>(bits_.take(8));
        }
        return !bits_.overrun();
    }

    bool fixed() {
        std::array<std::uint8_t, k_litlen_codes> lengths{};
        for (std::size_t s = 0; s < k_litlen_codes; ++s) {
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        }
        build(litlen_, lengths);
        std::array<std::uint8_t, k_distance_codes> distance_lengths{};
        distance_lengths.fill(5);
        build(distance_, distance_lengths);
        return codes();
    }

    bool dynamic() {
        const std::size_t nlen = bits_.take(5) + 257;
        const std::size_t ndist = bits_.take(5) + 1;
        const std::size_t ncode = bits_.take(4) + 4;
        if (bits_.overrun() || nlen > 286 || ndist > k_distance_codes) {
            return false;
        }
        std::array<std::uint8_t, 19> code_lengths{};
        for (std::size_t i = 0; i < ncode; ++i) {
            code_lengths[k_length_order[i]] = static_cast<std::uint8_t>(bits_.take(3));
        }
        Code length_code;
        if (build(length_code, code_lengths) != 0) {
            return false; // the code-length code must be complete
        }
        std::array<std::uint8_t, 286 + k_distance_codes> lengths{};
        if (!read_lengths(length_code, std::span(lengths).first(nlen + ndist))) {
            return false;
        }
        if (lengths[k_end_of_block] == 0) {
            return false; // a block without its end cannot end
        }
        // Incomplete codes are allowed for a single code only (RFC 1951, 3.2.7).
        const auto litlen = std::span(lengths).first(nlen);
        const auto distance = std::span(lengths).subspan(nlen, ndist);
        const int l = build(litlen_, litlen);
        if (l < 0 || (l > 0 && nlen - litlen_.count[0] != 1)) {
            return false;
        }
        const int d = build(distance_, distance);
        return d >= 0 && (d == 0 || ndist - distance_.count[0] == 1) && codes();
    }

    bool read_lengths(const Code& length_code, std::span<std::uint8_t> lengths) {
        std::size_t i = 0;
        while (i < lengths.size()) {
            const int symbol = decode(bits_, length_code);
            if (symbol < 0) {
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
                repeat = 3 + bits_.take(2);
            } else if (symbol == 17) {
                repeat = 3 + bits_.take(3);
            } else {
                repeat = 11 + bits_.take(7);
            }
            if (bits_.overrun() || repeat > lengths.size() - i) {
                return false;
            }
            for (; repeat > 0; --repeat) {
                lengths[i++] = value;
            }
        }
        return true;
    }

    bool codes() {
        for (;;) {
            const int symbol = decode(bits_, litlen_);
            if (symbol < 0) {
                return false;
            }
            if (symbol < k_end_of_block) {
                if (out_ == end_) {
                    return false;
                }
                run_[out_++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            if (symbol == k_end_of_block) {
                return true;
            }
            const auto l = static_cast<std::size_t>(symbol - 257);
            if (l >= k_length_base.size()) {
                return false;
            }
            const std::size_t length = k_length_base[l] + bits_.take(k_length_extra[l]);
            const int d = decode(bits_, distance_);
            if (d < 0 || static_cast<std::size_t>(d) >= k_distance_codes) {
                return false;
            }
            const auto di = static_cast<std::size_t>(d);
            const std::size_t distance = k_distance_base[di] + bits_.take(k_distance_extra[di]);
            if (bits_.overrun() || distance > out_ || length > end_ - out_) {
                return false;
            }
            for (std::size_t i = 0; i < length; ++i, ++out_) {
                run_[out_] = run_[out_ - distance];
            }
        }
    }

    Bits bits_;
    std::span<std::uint8_t> run_;
    std::size_t out_;
    std::size_t end_;
    Code litlen_;
    Code distance_;
};

} // namespace

bool inflate_piece(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                   std::size_t offset, std::size_t count) {
    if (offset > run.size() || count > run.size() - offset) {
        return false;
    }
    return Inflater(in, run, offset, count).run();
}

} // namespace trx::flash::deflate
