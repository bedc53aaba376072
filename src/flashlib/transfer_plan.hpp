#pragma once

#include "flashlib/block_sender.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace trx::flash {

struct Block {
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;
};

// How runs are compressed: zlib's raw deflate (all block types), or our own encoder with
// fixed Huffman codes only, as before zlib took over (kept for comparison).
enum class Codec { zlib, fixed_huffman };

// How a compressed run travels: in ZDATA pieces, each a stream of its own, or with zlib as one
// stream cut into ZRUN pieces, for a target that keeps its decoder across frames.
enum class RunForm { pieces, stream };

// A DATA frame for bytes within one 256-byte block.
Outgoing data_frame(std::uint32_t address, std::span<const std::uint8_t> data);

// The frames that carry `blocks` (256 bytes each, in address order). With a `run_capacity`
// (the target inflates ZDATA), consecutive blocks that shrink travel as compressed runs of at
// most that many bytes; a block that does not shrink goes raw, as every block does without.
std::vector<Outgoing> plan_transfer(std::span<const Block> blocks, std::size_t run_capacity,
                                    Codec codec = Codec::zlib, RunForm form = RunForm::pieces);

} // namespace trx::flash
