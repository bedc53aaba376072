#pragma once

#include "flashlib/run_encoder.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace trx::flash {

// Compresses a run of consecutive 256-byte blocks with zlib's raw deflate at its best
// compression, so that pieces may use all three block types of DEFLATE, dynamic Huffman codes
// included. Either the whole run is one stream that the target inflates across frames (ZRUN),
// or each piece is a stream of its own, with everything earlier in the run as its dictionary
// (ZDATA, for a target that keeps no decoder state across frames).
class ZlibRunEncoder {
public:
    // `capacity`: the target's run buffer; the window is 2^13 bytes or the buffer if smaller.
    explicit ZlibRunEncoder(std::size_t capacity);
    ~ZlibRunEncoder();
    ZlibRunEncoder(const ZlibRunEncoder&) = delete;
    ZlibRunEncoder& operator=(const ZlibRunEncoder&) = delete;
    ZlibRunEncoder(ZlibRunEncoder&&) = delete;
    ZlibRunEncoder& operator=(ZlibRunEncoder&&) = delete;

    [[nodiscard]] std::size_t size() const { return data_.size(); }
    [[nodiscard]] bool empty() const { return data_.empty(); }
    [[nodiscard]] bool has_room(std::size_t bytes) const {
        return data_.size() + bytes <= capacity_;
    }
    // Appends `block` when it compresses on its own, after what the run holds, to at most
    // `max_bytes`; a block refused leaves the run as it was.
    bool add(std::span<const std::uint8_t> block, std::size_t max_bytes);
    // The run cut into pieces of at most `max_bytes` compressed bytes each, each as long as
    // fits.
    [[nodiscard]] std::vector<RunPiece> pieces(std::size_t max_bytes);
    // The whole run as one stream, for a target that inflates it across frames.
    [[nodiscard]] std::vector<std::uint8_t> stream() { return compress(data_, 0, data_.size()); }
    [[nodiscard]] std::span<const std::uint8_t> data() const { return data_; }
    void clear() { data_.clear(); }

    // `data[from, from + count)` compressed with data[0, from) as the dictionary.
    [[nodiscard]] std::vector<std::uint8_t> compress(std::span<const std::uint8_t> data,
                                                     std::size_t from, std::size_t count);

private:
    struct Stream;

    std::size_t capacity_;
    std::vector<std::uint8_t> data_;
    std::unique_ptr<Stream> stream_;
};

// The window bits for a run buffer of `capacity` bytes: 13 (8 KiB) or fewer, at least 9.
int window_bits_for(std::size_t capacity);

} // namespace trx::flash
