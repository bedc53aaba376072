#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The target's inflater for ZDATA pieces: DEFLATE (RFC 1951) with all three block types
// (stored, fixed and dynamic Huffman codes). Its tables take about 1.3 KiB beside the run
// buffer, which is also its window.
namespace trx::flash::deflate {

// Decodes `in` into run[offset, offset + count). Matches may reach back into run[0, offset),
// never before it. False when the input is not DEFLATE, does not produce exactly `count`
// bytes, or leaves whole bytes unread after its last block.
[[nodiscard]] bool inflate_piece(std::span<const std::uint8_t> in, std::span<std::uint8_t> run,
                                 std::size_t offset, std::size_t count);

} // namespace trx::flash::deflate
