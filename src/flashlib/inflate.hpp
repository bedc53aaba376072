#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The target's inflater for compressed runs: DEFLATE (RFC 1951) with all three block types
// (stored, fixed and dynamic Huffman codes). Its tables take about 1.3 KiB beside the run
// buffer, which is also its window.
namespace trx::flash::deflate {

constexpr int k_max_code_bits = 15;
constexpr std::size_t k_litlen_codes = 288;

// A canonical Huffman code as counts per length and symbols in code order: decoding walks
// the lengths, no lookup table needed.
struct Code {
    std::array<std::uint16_t, k_max_code_bits + 1> count{};
    std::array<std::uint16_t, k_litlen_codes> symbol{};
};

// One DEFLATE stream that arrives in pieces, inflated into run[start, end). After each piece
// every byte the input so far determines is written; what is kept to go on is the code
// tables and the bits of a symbol not yet whole, never the input before it. A copy is a
// checkpoint: a piece that fails leaves the copy taken before it as it was.
class StreamInflater {
public:
    enum class Result {
        more,     // everything so far is good, the stream goes on
        finished, // the last block ended with exactly `end` bytes and no byte left over
        bad,      // not DEFLATE, too long or short, or reaching before the run's start
    };

    class Bits; // the reader over the pending input, defined beside the decoder

    StreamInflater() = default;
    StreamInflater(std::size_t start, std::size_t end) : out_(start), end_(end) {}

    // Takes the next piece; matches may reach back into run[0, out), never before it.
    Result feed(std::span<const std::uint8_t> piece, std::span<std::uint8_t> run);
    // run[start, produced_to()) is written and final.
    [[nodiscard]] std::size_t produced_to() const { return out_; }
    [[nodiscard]] bool finished() const { return phase_ == Phase::done; }

private:
    enum class Phase : std::uint8_t { header, stored, codes, done, bad };
    enum class Step : std::uint8_t { done, more, bad };

    Step step(Bits& bits, std::span<std::uint8_t> run);
    Step header(Bits& bits);
    Step dynamic_tables(Bits& bits);
    Step stored(Bits& bits, std::span<std::uint8_t> run);
    Step token(Bits& bits, std::span<std::uint8_t> run);

    std::vector<std::uint8_t> pending_; // input from the first byte not yet consumed
    std::uint32_t bit_buffer_ = 0;      // bits of consumed bytes not yet used
    int bit_count_ = 0;
    Phase phase_ = Phase::header;
    bool last_ = false;
    std::uint32_t stored_left_ = 0;
    std::size_t out_ = 0;
    std::size_t end_ = 0;
    Code litlen_;
    Code distance_;
};

// Decodes `in`, one whole stream, into run[offset, offset + count). Matches may reach back
// into run[0, offset), never before it. False when the input is not DEFLATE, does not produce
// exactly `count` bytes, or leaves whole bytes unread after its last block.
[[nodiscard]] bool inflate_piece(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                                 std::size_t offset, std::size_t count);

} // namespace trx::flash::deflate
