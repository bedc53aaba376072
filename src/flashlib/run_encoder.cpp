#include "flashlib/run_encoder.hpp"

#include "flashlib/fixed_huffman.hpp"

#include <algorithm>
#include <limits>

namespace trx::flash {

using deflate::k_max_match;
using deflate::k_min_match;

RunEncoder::RunEncoder(std::size_t capacity) : capacity_(capacity) {
    data_.reserve(capacity);
    prev_.assign(capacity, -1);
    clear();
}

void RunEncoder::clear() {
    data_.clear();
    tokens_.clear();
    head_.fill(-1);
    inserted_ = 0;
}

std::size_t RunEncoder::hash_at(std::size_t pos) const {
    const std::uint32_t v =
        std::uint32_t{data_[pos]} << 16 | std::uint32_t{data_[pos + 1]} << 8 | data_[pos + 2];
    return (v * 2654435761U) >> 20 & (k_hash_size - 1);
}

// Every position before `end` whose three bytes are known goes into its chain.
void RunEncoder::insert_up_to(std::size_t end) {
    for (; inserted_ < end && inserted_ + k_min_match <= data_.size(); ++inserted_) {
        const std::size_t h = hash_at(inserted_);
        prev_[inserted_] = head_[h];
        head_[h] = static_cast<std::int32_t>(inserted_);
    }
}

// Matches at `pos` ending by `block_end`, each longer than the one before (and farther).
void RunEncoder::matches_at(std::size_t pos, std::size_t block_end,
                            std::vector<Candidate>& out) const {
    out.clear();
    const std::size_t limit = std::min<std::size_t>(k_max_match, block_end - pos);
    if (limit < static_cast<std::size_t>(k_min_match)) {
        return;
    }
    std::size_t best = k_min_match - 1;
    int depth = 0;
    for (std::int32_t q = head_[hash_at(pos)]; q >= 0 && depth < k_chain_depth;
         q = prev_[static_cast<std::size_t>(q)], ++depth) {
        const auto from = static_cast<std::size_t>(q);
        std::size_t n = 0;
        while (n < limit && data_[from + n] == data_[pos + n]) {
            ++n;
        }
        if (n > best) {
            best = n;
            out.push_back({static_cast<int>(n), static_cast<int>(pos - from)});
            if (n == limit) {
                return;
            }
        }
    }
}

int RunEncoder::bits_of(const Token& t) {
    return t.length == 0 ? deflate::literal_bits(t.literal)
                         : deflate::match_bits(t.length, t.distance);
}

bool RunEncoder::add(std::span<const std::uint8_t> block, std::size_t max_bits) {
    if (block.empty() || !has_room(block.size())) {
        return false;
    }
    const std::size_t start = data_.size();
    const std::size_t inserted_before = inserted_;
    const auto head_before = head_;
    data_.insert(data_.end(), block.begin(), block.end());
    const std::size_t n = block.size();

    // cost[i]: fewest bits for the block's first i bytes; step[i]: the token that ends there.
    constexpr int k_inf = std::numeric_limits<int>::max();
    std::vector<int> cost(n + 1, k_inf);
    std::vector<Token> step(n + 1);
    cost[0] = 0;
    std::vector<Candidate> found;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t pos = start + i;
        insert_up_to(pos);
        const Token lit{0, 0, data_[pos]};
        if (cost[i] + bits_of(lit) < cost[i + 1]) {
            cost[i + 1] = cost[i] + bits_of(lit);
            step[i + 1] = lit;
        }
        matches_at(pos, start + n, found);
        int shortest = k_min_match;
        for (const Candidate& c : found) {
            for (int len = shortest; len <= c.length; ++len) {
                const Token m{static_cast<std::uint16_t>(len),
                              static_cast<std::uint16_t>(c.distance), 0};
                const int total = cost[i] + bits_of(m);
                if (total < cost[i + static_cast<std::size_t>(len)]) {
                    cost[i + static_cast<std::size_t>(len)] = total;
                    step[i + static_cast<std::size_t>(len)] = m;
                }
            }
            shortest = c.length + 1;
        }
    }
    if (static_cast<std::size_t>(cost[n]) > max_bits) {
        data_.resize(start);
        inserted_ = inserted_before;
        head_ = head_before;
        return false;
    }
    std::vector<Token> block_tokens;
    for (std::size_t i = n; i > 0;) {
        const Token& t = step[i];
        block_tokens.push_back(t);
        i -= t.length == 0 ? 1 : t.length;
    }
    tokens_.insert(tokens_.end(), block_tokens.rbegin(), block_tokens.rend());
    return true;
}

std::vector<RunPiece> RunEncoder::pieces(std::size_t max_bytes) const {
    const auto budget = static_cast<int>(max_bytes * 8) - deflate::k_block_header_bits -
                        deflate::k_end_of_block_bits;
    std::vector<RunPiece> out;
    std::size_t offset = 0;
    std::size_t t = 0;
    while (t < tokens_.size()) {
        deflate::BitWriter w;
        w.bits(1, 1); // the last block of this piece
        w.bits(1, 2); // fixed Huffman codes
        RunPiece piece{offset, 0, {}};
        for (int used = 0; t < tokens_.size() && used + bits_of(tokens_[t]) <= budget; ++t) {
            const Token& k = tokens_[t];
            used += bits_of(k);
            if (k.length == 0) {
                w.literal(k.literal);
                ++piece.count;
            } else {
                w.match(k.length, k.distance);
                piece.count += k.length;
            }
        }
        w.end_of_block();
        piece.deflate = w.take();
        offset += piece.count;
        out.push_back(std::move(piece));
    }
    return out;
}

} // namespace trx::flash
