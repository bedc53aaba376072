#include "flashlib/transfer_plan.hpp"

#include "flashlib/run_encoder.hpp"

namespace trx::flash {

namespace {

// A compressed block must save this share of its bytes to pay for its share of the ZDATA
// frame's header: less, and it goes raw.
constexpr std::size_t k_max_compressed_bytes = proto::k_block - proto::k_block / 32;
constexpr std::size_t k_piece_bytes = proto::k_max_payload - proto::k_zdata_header;

class Planner {
public:
    explicit Planner(std::size_t run_capacity)
        : encoder_(run_capacity == 0 ? proto::k_block : run_capacity),
          compress_(run_capacity >= proto::k_block) {}

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
        if (encoder_.add(b.data, k_max_compressed_bytes * 8)) {
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
        for (RunPiece& p : encoder_.pieces(k_piece_bytes)) {
            out_.push_back(Outgoing{proto::Type::zdata,
                                    run_start_ + static_cast<std::uint32_t>(p.offset),
                                    proto::zdata_payload(run_start_, p.offset, p.count, p.deflate),
                                    static_cast<std::int64_t>(p.count)});
        }
        encoder_.clear();
    }

    RunEncoder encoder_;
    bool compress_;
    std::uint32_t run_start_ = 0;
    std::vector<Outgoing> out_;
};

} // namespace

Outgoing data_frame(std::uint32_t address, std::span<const std::uint8_t> data) {
    return Outgoing{proto::Type::data, address, proto::Writer().u32(address).bytes(data).take(),
                    static_cast<std::int64_t>(data.size())};
}

std::vector<Outgoing> plan_transfer(std::span<const Block> blocks, std::size_t run_capacity) {
    Planner planner(run_capacity);
    for (const Block& b : blocks) {
        planner.add(b);
    }
    return planner.take();
}

} // namespace trx::flash
