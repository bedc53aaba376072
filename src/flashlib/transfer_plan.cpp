#include "flashlib/transfer_plan.hpp"

#include "base/fault.hpp"
#include "base/numtext.hpp"
#include "flashlib/inflate.hpp"
#include "flashlib/run_encoder.hpp"
#include "flashlib/zlib_runs.hpp"

#include <memory>

namespace trx::flash {

namespace {

// A compressed block must save this share of its bytes to pay for its share of the ZDATA
// frame's header: less, and it goes raw.
constexpr std::size_t k_max_compressed_bytes = proto::k_block - proto::k_block / 32;
constexpr std::size_t k_piece_bytes = proto::k_max_payload - proto::k_zdata_header;

// The two encoders behind one face.
class RunCoder {
public:
    RunCoder(std::size_t capacity, Codec codec) {
        if (codec == Codec::zlib) {
            zlib_ = std::make_unique<ZlibRunEncoder>(capacity);
        } else {
            fixed_ = std::make_unique<RunEncoder>(capacity);
        }
    }
    [[nodiscard]] std::size_t size() const { return zlib_ ? zlib_->size() : fixed_->size(); }
    [[nodiscard]] bool empty() const { return size() == 0; }
    [[nodiscard]] bool has_room(std::size_t bytes) const {
        return zlib_ ? zlib_->has_room(bytes) : fixed_->has_room(bytes);
    }
    bool add(std::span<const std::uint8_t> block, std::size_t max_bytes) {
        return zlib_ ? zlib_->add(block, max_bytes) : fixed_->add(block, max_bytes * 8);
    }
    std::vector<RunPiece> pieces(std::size_t max_bytes) {
        return zlib_ ? zlib_->pieces(max_bytes) : fixed_->pieces(max_bytes);
    }
    // Only zlib writes a run as one stream.
    [[nodiscard]] ZlibRunEncoder* streaming() const { return zlib_.get(); }
    void clear() {
        if (zlib_) {
            zlib_->clear();
        } else {
            fixed_->clear();
        }
    }

private:
    std::unique_ptr<ZlibRunEncoder> zlib_;
    std::unique_ptr<RunEncoder> fixed_;
};

class Planner {
public:
    Planner(std::size_t run_capacity, Codec codec, RunForm form)
        : encoder_(run_capacity == 0 ? proto::k_block : run_capacity, codec),
          compress_(run_capacity >= proto::k_block),
          stream_(form == RunForm::stream && encoder_.streaming() != nullptr) {}

    void add(const Block& b) {
        if (!compress_ || b.data.size() != proto::k_block) {
            raw(b);
            return;
        }
        const bool follows = !encoder_.empty() && b.address == run_start_ + encoder_.size() &&
                             encoder_.has_room(b.data.size());
        if (!follows) {
            flush();
        }
        if (encoder_.add(b.data, k_max_compressed_bytes)) {
            if (encoder_.size() == b.data.size()) {
                run_start_ = b.address;
            }
            return;
        }
        raw(b);
    }

    std::vector<Outgoing> take() {
        flush();
        return std::move(out_);
    }

private:
    void raw(const Block& b) {
        flush();
        out_.push_back(data_frame(b.address, b.data));
    }

    void flush() {
        if (stream_) {
            flush_stream(*encoder_.streaming());
            return;
        }
        for (RunPiece& p : encoder_.pieces(k_piece_bytes)) {
            out_.push_back(Outgoing{proto::Type::zdata,
                                    run_start_ + static_cast<std::uint32_t>(p.offset),
                                    proto::zdata_payload(run_start_, p.offset, p.count, p.deflate),
                                    static_cast<std::int64_t>(p.count)});
        }
        encoder_.clear();
    }

    // The run's stream cut into whole frames. The host inflates it as the target will, so each
    // piece names the image bytes it completes, and a stream that would not come out as the run
    // never leaves.
    void flush_stream(ZlibRunEncoder& zlib) {
        if (zlib.empty()) {
            return;
        }
        const auto run = zlib.data();
        const std::vector<std::uint8_t> stream = zlib.stream();
        std::vector<std::uint8_t> inflated(run.size());
        deflate::StreamInflater check(0, run.size());
        for (std::size_t offset = 0; offset < stream.size(); offset += k_piece_bytes) {
            const auto piece =
                std::span(stream).subspan(offset, std::min(k_piece_bytes, stream.size() - offset));
            const std::size_t before = check.produced_to();
            if (check.feed(piece, inflated) == deflate::StreamInflater::Result::bad) {
                break;
            }
            out_.push_back(Outgoing{proto::Type::zrun,
                                    run_start_ + static_cast<std::uint32_t>(before),
                                    proto::zrun_payload(run_start_, run.size(), offset, piece),
                                    static_cast<std::int64_t>(check.produced_to() - before)});
        }
        if (!check.finished() || !std::equal(run.begin(), run.end(), inflated.begin())) {
            throw Fault("the compressed run at 0x" + num::hex_upper(run_start_, 6) +
                        " does not inflate to its image");
        }
        zlib.clear();
    }

    RunCoder encoder_;
    bool compress_;
    bool stream_;
    std::uint32_t run_start_ = 0;
    std::vector<Outgoing> out_;
};

} // namespace

Outgoing data_frame(std::uint32_t address, std::span<const std::uint8_t> data) {
    return Outgoing{proto::Type::data, address, proto::Writer().u32(address).bytes(data).take(),
                    static_cast<std::int64_t>(data.size())};
}

std::vector<Outgoing> plan_transfer(std::span<const Block> blocks, std::size_t run_capacity,
                                    Codec codec, RunForm form) {
    Planner planner(run_capacity, codec, form);
    for (const Block& b : blocks) {
        planner.add(b);
    }
    return planner.take();
}

} // namespace trx::flash
