#include "flashlib/zlib_runs.hpp"

#include "base/fault.hpp"

#include <algorithm>
#include <zlib.h>

namespace trx::flash {

struct ZlibRunEncoder::Stream {
    z_stream z{};
};

int window_bits_for(std::size_t capacity) {
    int bits = 9;
    while (bits < 13 && (std::size_t{1} << bits) < capacity) {
        ++bits;
    }
    return bits;
}

ZlibRunEncoder::ZlibRunEncoder(std::size_t capacity)
    : capacity_(capacity), stream_(std::make_unique<Stream>()) {
    // Negative window bits: raw deflate, no zlib header or trailer.
    if (deflateInit2(&stream_->z, Z_BEST_COMPRESSION, Z_DEFLATED, -window_bits_for(capacity), 9,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw Fault("zlib cannot set up a deflate stream");
    }
}

ZlibRunEncoder::~ZlibRunEncoder() {
    deflateEnd(&stream_->z);
}

std::vector<std::uint8_t> ZlibRunEncoder::compress(std::span<const std::uint8_t> data,
                                                   std::size_t from, std::size_t count) {
    z_stream& z = stream_->z;
    if (deflateReset(&z) != Z_OK ||
        (from > 0 && deflateSetDictionary(&z, data.data(), static_cast<uInt>(from)) != Z_OK)) {
        throw Fault("zlib refuses a dictionary");
    }
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(count)));
    // zlib's interface takes no const input; it does not write to it.
    z.next_in = const_cast<Bytef*>(data.data() + from);
    z.avail_in = static_cast<uInt>(count);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (::deflate(&z, Z_FINISH) != Z_STREAM_END) {
        throw Fault("zlib did not finish a piece within its bound");
    }
    out.resize(out.size() - z.avail_out);
    return out;
}

bool ZlibRunEncoder::add(std::span<const std::uint8_t> block, std::size_t max_bytes) {
    if (!has_room(block.size())) {
        return false;
    }
    const std::size_t from = data_.size();
    data_.insert(data_.end(), block.begin(), block.end());
    if (compress(data_, from, block.size()).size() <= max_bytes) {
        return true;
    }
    data_.resize(from);
    return false;
}

// Each piece as long as fits in `max_bytes`: doubled while it fits, then bisected. The
// compressed size grows with the length, though not evenly (zlib picks its blocks anew).
std::vector<RunPiece> ZlibRunEncoder::pieces(std::size_t max_bytes) {
    std::vector<RunPiece> out;
    for (std::size_t offset = 0; offset < data_.size();) {
        const std::size_t left = data_.size() - offset;
        std::size_t lo = 0; // the longest known to fit
        std::size_t hi = std::min(left, 2 * max_bytes);
        std::vector<std::uint8_t> best;
        for (;;) {
            auto d = compress(data_, offset, hi);
            if (d.size() > max_bytes) {
                break;
            }
            lo = hi;
            best = std::move(d);
            if (hi == left) {
                break;
            }
            hi = std::min(left, hi * 2);
        }
        while (lo < left && hi - lo > 1) {
            const std::size_t mid = lo + (hi - lo) / 2;
            auto d = compress(data_, offset, mid);
            if (d.size() <= max_bytes) {
                lo = mid;
                best = std::move(d);
            } else {
                hi = mid;
            }
        }
        if (lo == 0) {
            throw Fault("a run piece does not fit a frame");
        }
        out.push_back(RunPiece{offset, lo, std::move(best)});
        offset += lo;
    }
    return out;
}

} // namespace trx::flash
