#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace trx::flash {

// One compressed piece of a run: `count` bytes from `offset` of the run, as fixed-Huffman
// DEFLATE that may refer back to anything earlier in the same run.
struct RunPiece {
    std::size_t offset = 0;
    std::size_t count = 0;
    std::vector<std::uint8_t> deflate;
};

// Compresses a run of consecutive 256-byte blocks that the target inflates into its RAM
// (at most `capacity` bytes). Each block is parsed at the least cost in bits, its matches
// ending inside it; a block is taken only when it shrinks enough to be worth it.
class RunEncoder {
public:
    explicit RunEncoder(std::size_t capacity);

    [[nodiscard]] std::size_t size() const { return data_.size(); }
    [[nodiscard]] bool empty() const { return data_.empty(); }
    [[nodiscard]] bool has_room(std::size_t bytes) const {
        return data_.size() + bytes <= capacity_;
    }
    // Appends `block` when it compresses to at most `max_bits` after what the run holds, and
    // returns whether it did; a block refused leaves the run as it was.
    bool add(std::span<const std::uint8_t> block, std::size_t max_bits);
    // The run cut into pieces of at most `max_bytes` each.
    [[nodiscard]] std::vector<RunPiece> pieces(std::size_t max_bytes) const;
    void clear();

private:
    struct Token {
        std::uint16_t length = 0; // 0: a literal
        std::uint16_t distance = 0;
        std::uint8_t literal = 0;
    };
    struct Candidate {
        int length;
        int distance;
    };
    static constexpr std::size_t k_hash_size = 4096;
    static constexpr int k_chain_depth = 128;

    [[nodiscard]] std::size_t hash_at(std::size_t pos) const;
    void insert_up_to(std::size_t end);
    void matches_at(std::size_t pos, std::size_t block_end, std::vector<Candidate>& out) const;
    [[nodiscard]] static int bits_of(const Token& t);

    std::size_t capacity_;
    std::vector<std::uint8_t> data_;
    std::vector<Token> tokens_;
    std::array<std::int32_t, k_hash_size> head_{};
    std::vector<std::int32_t> prev_;
    std::size_t inserted_ = 0; // positions in the hash chains
};

} // namespace trx::flash
