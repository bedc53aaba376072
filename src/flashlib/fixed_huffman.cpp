#include "flashlib/fixed_huffman.hpp"

#include <array>

namespace trx::flash::deflate {

namespace {

struct Code {
    std::uint16_t base;
    std::uint8_t extra;
};

// Length symbols 257 ... 285.
constexpr std::array<Code, 29> k_lengths = {
    {{3, 0},  {4, 0},  {5, 0},  {6, 0},   {7, 0},   {8, 0},   {9, 0},   {10, 0},  {11, 1}, {13, 1},
     {15, 1}, {17, 1}, {19, 2}, {23, 2},  {27, 2},  {31, 2},  {35, 3},  {43, 3},  {51, 3}, {59, 3},
     {67, 4}, {83, 4}, {99, 4}, {115, 4}, {131, 5}, {163, 5}, {195, 5}, {227, 5}, {258, 0}}};
// Distance codes 0 ... 29.
constexpr std::array<Code, 30> k_distances = {
    {{1, 0},     {2, 0},     {3, 0},     {4, 0},      {5, 1},      {7, 1},
     {9, 2},     {13, 2},    {17, 3},    {25, 3},     {33, 4},     {49, 4},
     {65, 5},    {97, 5},    {129, 6},   {193, 6},    {257, 7},    {385, 7},
     {513, 8},   {769, 8},   {1025, 9},  {1537, 9},   {2049, 10},  {3073, 10},
     {4097, 11}, {6145, 11}, {8193, 12}, {12289, 12}, {16385, 13}, {24577, 13}}};

template <std::size_t N> std::size_t index_of(const std::array<Code, N>& table, int value) {
    std::size_t i = 0;
    while (i + 1 < N && table[i + 1].base <= value) {
        ++i;
    }
    return i;
}

struct HuffmanCode {
    std::uint32_t bits;
    int length;
};

// The fixed code of a literal/length symbol.
HuffmanCode litlen_code(int symbol) {
    if (symbol < 144) {
        return {static_cast<std::uint32_t>(0x30 + symbol), 8};
    }
    if (symbol < 256) {
        return {static_cast<std::uint32_t>(0x190 + symbol - 144), 9};
    }
    if (symbol < 280) {
        return {static_cast<std::uint32_t>(symbol - 256), 7};
    }
    return {static_cast<std::uint32_t>(0xC0 + symbol - 280), 8};
}

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}
    std::uint32_t bits(int count) {
        std::uint32_t v = 0;
        for (int i = 0; i < count; ++i) {
            v |= static_cast<std::uint32_t>(bit()) << i;
        }
        return v;
    }
    int bit() {
        if (pos_ / 8 >= in_.size()) {
            overrun_ = true;
            return 0;
        }
        const int b = in_[pos_ / 8] >> (pos_ % 8) & 1;
        ++pos_;
        return b;
    }
    [[nodiscard]] bool overrun() const { return overrun_; }
    // Every byte was read (the last one maybe only in part).
    [[nodiscard]] bool at_end() const { return (pos_ + 7) / 8 == in_.size(); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    bool overrun_ = false;
};

// The next literal/length symbol, or -1 for a code the fixed table does not have.
int read_litlen(BitReader& r) {
    std::uint32_t code = 0;
    for (int i = 0; i < 7; ++i) {
        code = code << 1 | static_cast<std::uint32_t>(r.bit());
    }
    if (code <= 0x17) {
        return static_cast<int>(256 + code);
    }
    code = code << 1 | static_cast<std::uint32_t>(r.bit());
    if (code >= 0x30 && code <= 0xBF) {
        return static_cast<int>(code - 0x30);
    }
    if (code >= 0xC0 && code <= 0xC5) {
        return static_cast<int>(280 + code - 0xC0);
    }
    if (code < 0xC8) {
        return -1; // 286 and 287 are not symbols
    }
    code = code << 1 | static_cast<std::uint32_t>(r.bit());
    return static_cast<int>(144 + code - 0x190);
}

} // namespace

int match_bits(int length, int distance) {
    const std::size_t l = index_of(k_lengths, length);
    const std::size_t d = index_of(k_distances, distance);
    return litlen_code(static_cast<int>(257 + l)).length + k_lengths[l].extra + 5 +
           k_distances[d].extra;
}

void BitWriter::bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        pending_ |= (value >> i & 1U) << pending_bits_;
        if (++pending_bits_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(pending_));
            pending_ = 0;
            pending_bits_ = 0;
        }
    }
}

void BitWriter::code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
        bits(code >> i & 1U, 1);
    }
}

void BitWriter::literal(std::uint8_t byte) {
    const HuffmanCode c = litlen_code(byte);
    code(c.bits, c.length);
}

void BitWriter::match(int length, int distance) {
    const std::size_t l = index_of(k_lengths, length);
    const HuffmanCode lc = litlen_code(static_cast<int>(257 + l));
    code(lc.bits, lc.length);
    bits(static_cast<std::uint32_t>(length - k_lengths[l].base), k_lengths[l].extra);
    const std::size_t d = index_of(k_distances, distance);
    code(static_cast<std::uint32_t>(d), 5);
    bits(static_cast<std::uint32_t>(distance - k_distances[d].base), k_distances[d].extra);
}

std::vector<std::uint8_t> BitWriter::take() {
    if (pending_bits_ > 0) {
        out_.push_back(static_cast<std::uint8_t>(pending_));
        pending_ = 0;
        pending_bits_ = 0;
    }
    return std::move(out_);
}

bool inflate_fixed(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                   std::size_t offset, std::size_t count) {
    if (offset > run.size() || count > run.size() - offset) {
        return false;
    }
    BitReader r(in);
    std::size_t out = offset;
    const std::size_t end = offset + count;
    for (bool last = false; !last;) {
        last = r.bit() != 0;
        if (r.bits(2) != 1) {
            return false; // stored and dynamic blocks are not part of this format
        }
        for (;;) {
            const int symbol = read_litlen(r);
            if (symbol < 0 || r.overrun()) {
                return false;
            }
            if (symbol < k_end_of_block) {
                if (out == end) {
                    return false;
                }
                run[out++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            if (symbol == k_end_of_block) {
                break;
            }
            const Code& lc = k_lengths[static_cast<std::size_t>(symbol - 257)];
            const std::size_t length = lc.base + r.bits(lc.extra);
            std::uint32_t dcode = 0;
            for (int i = 0; i < 5; ++i) {
                dcode = dcode << 1 | static_cast<std::uint32_t>(r.bit());
            }
            if (dcode >= k_distances.size()) {
                return false;
            }
            const Code& dc = k_distances[dcode];
            const std::size_t distance = dc.base + r.bits(dc.extra);
            if (r.overrun() || distance > out || length > end - out) {
                return false;
            }
            for (std::size_t i = 0; i < length; ++i, ++out) {
                run[out] = run[out - distance];
            }
        }
    }
    return !r.overrun() && r.at_end() && out == end;
}

} // namespace trx::flash::deflate
