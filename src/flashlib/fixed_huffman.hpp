#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// DEFLATE (RFC 1951) with the fixed Huffman codes only (block type 01): the compression of
// ZDATA frames. Fixed codes need no tables on the line and none in the target's RAM, and every
// token's size is known in advance, so the host can fill a frame to the bit.
namespace trx::flash::deflate {

constexpr int k_min_match = 3;
constexpr int k_max_match = 258;
constexpr int k_end_of_block = 256;
constexpr int k_block_header_bits = 3; // BFINAL and BTYPE
constexpr int k_end_of_block_bits = 7;

// Size of a literal byte in bits.
constexpr int literal_bits(std::uint8_t byte) {
    return byte < 144 ? 8 : 9;
}
// Size of a match in bits (length 3 ... 258, distance 1 ... 32768).
int match_bits(int length, int distance);

// Bits in the order DEFLATE packs them: values least significant bit first, Huffman codes
// most significant bit first.
class BitWriter {
public:
    void bits(std::uint32_t value, int count);
    void code(std::uint32_t code, int length);
    void literal(std::uint8_t byte);
    void match(int length, int distance);
    void end_of_block() { code(0, k_end_of_block_bits); }
    // The bytes written, the last one padded with zero bits.
    [[nodiscard]] std::vector<std::uint8_t> take();

private:
    std::vector<std::uint8_t> out_;
    std::uint32_t pending_ = 0;
    int pending_bits_ = 0;
};

// Decodes fixed-Huffman DEFLATE blocks from `in` into run[offset, offset + count). Matches
// may reach back into run[0, offset), never before it. False when the input is not such a
// stream, does not produce exactly `count` bytes, or leaves whole bytes unread.
[[nodiscard]] bool inflate_fixed(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                                 std::size_t offset, std::size_t count);

} // namespace trx::flash::deflate
