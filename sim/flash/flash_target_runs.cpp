// The loader's compressed runs: ZDATA pieces, each a stream of its own, and ZRUN pieces of one
// stream per run, both inflated into the same RAM and programmed block by block.
#include "sim/flash/flash_target.hpp"

#include "flashlib/inflate.hpp"

#include <algorithm>

namespace trx::sim {

using proto::Frame;
using proto::Status;
using std::chrono::nanoseconds;

// A piece of a run: inflated into the run's RAM after what came before, then every block it
// completes is programmed. A failed piece leaves the run as it was before it, so that its
// repetition finds the same state.
std::optional<Frame> FlashTarget::execute_zdata(const Frame& f, nanoseconds now) {
    const auto z = proto::parse_zdata(f);
    if (!z) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    const std::size_t end = std::size_t{z->offset} + z->count;
    const std::size_t whole = (end + proto::k_block - 1) / proto::k_block * proto::k_block;
    const bool continues = z->offset == 0 || (z->run_address == run_address_ &&
                                              z->offset == run_length_ && run_length_ > 0);
    // Both kinds of run share the RAM: not while a stream is unfinished.
    const bool stream_open = stream_ && !stream_->decoder.finished();
    if (run_.empty() || !continues || end > run_.size() || stream_open) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    if (z->run_address % proto::k_block != 0 || !memory_.contains(z->run_address, whole)) {
        return proto::make_ack(f.seq, {Status::bad_address, z->run_address});
    }
    std::uint64_t k = 0;
    if (auto nak = nak_or_count(f, k)) {
        return nak;
    }
    if (z->offset == 0) {
        run_address_ = z->run_address;
        run_length_ = 0;
        run_programmed_ = 0;
    }
    if (!flash::deflate::inflate_piece(z->deflate, run_, z->offset, z->count)) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    ++counters_.zdata_executed;
    const std::size_t length_before = run_length_;
    const std::size_t programmed_before = run_programmed_;
    run_length_ = end;
    const RunWrite written = program_run(run_address_, run_programmed_, run_length_, k, now);
    if (written.reset) {
        return std::nullopt;
    }
    if (written.bad) {
        run_length_ = length_before;
        run_programmed_ = programmed_before;
        return proto::make_ack(f.seq, {Status::verify_failed, *written.bad});
    }
    return proto::make_ack(f.seq, {Status::ok, 0});
}

FlashTarget::RunWrite FlashTarget::program_run(std::uint32_t address, std::size_t& programmed,
                                               std::size_t length, std::uint64_t k,
                                               nanoseconds now) {
    for (; programmed + proto::k_block <= length; programmed += proto::k_block) {
        const auto at = address + static_cast<std::uint32_t>(programmed);
        const auto block = std::span(run_).subspan(programmed, proto::k_block);
        if (config_.faults.reset_at_data == k) {
            memory_.program(at, block.first(block.size() / 2));
            reset(now);
            return {true, std::nullopt};
        }
        if (const auto bad = program_block(at, block)) {
            return {false, bad};
        }
    }
    if (config_.faults.reset_at_data == k) {
        reset(now); // the piece completed no block
        return {true, std::nullopt};
    }
    return {};
}

// A ZRUN piece fits when it starts a run (none unfinished) or continues the one in work at the
// stream's byte where the last piece ended.
std::optional<Frame> FlashTarget::zrun_refusal(const Frame& f, const proto::ZRun& z) const {
    const bool open = stream_ && !stream_->decoder.finished();
    const bool fits = z.offset == 0 ? !open
                                    : open && z.run_address == stream_->address &&
                                          z.run_length == stream_->length &&
                                          z.offset == stream_->stream_bytes;
    if (!config_.stream_runs || !fits || z.run_length % proto::k_block != 0 ||
        z.run_length > run_.size()) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    if (z.run_address % proto::k_block != 0 || !memory_.contains(z.run_address, z.run_length)) {
        return proto::make_ack(f.seq, {Status::bad_address, z.run_address});
    }
    return std::nullopt;
}

// A piece of a run's one stream: the decoder goes on where the last piece left it, and every
// block the stream now holds whole is programmed. A failed piece leaves the run (decoder
// included) as it was before it, so that its repetition finds the same state.
std::optional<Frame> FlashTarget::execute_zrun(const Frame& f, nanoseconds now) {
    const auto z = proto::parse_zrun(f);
    if (!z) {
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    if (auto refused = zrun_refusal(f, *z)) {
        return refused;
    }
    std::uint64_t k = 0;
    if (auto nak = nak_or_count(f, k)) {
        return nak;
    }
    const std::optional<StreamRun> before = stream_;
    if (z->offset == 0) {
        stream_ = StreamRun{z->run_address, z->run_length, 0, 0,
                            flash::deflate::StreamInflater(0, z->run_length)};
        run_length_ = 0; // the stream overwrites a ZDATA run in the same RAM, whatever comes
        run_programmed_ = 0;
    }
    StreamRun& run = *stream_;
    if (run.decoder.feed(z->stream, run_) == flash::deflate::StreamInflater::Result::bad) {
        stream_ = before;
        return proto::make_ack(f.seq, {Status::bad_request, f.seq});
    }
    ++counters_.zrun_executed;
    run.stream_bytes += z->stream.size();
    const RunWrite written =
        program_run(run.address, run.programmed, run.decoder.produced_to(), k, now);
    if (written.reset) {
        return std::nullopt;
    }
    if (written.bad) {
        stream_ = before;
        return proto::make_ack(f.seq, {Status::verify_failed, *written.bad});
    }
    return proto::make_ack(f.seq, {Status::ok, 0});
}

// Inflating is quick beside programming; how many blocks a piece completes is known only by
// inflating it, after the pieces queued before it, on a copy.
std::size_t FlashTarget::zrun_blocks(const Frame& f) const {
    const auto z = proto::parse_zrun(f);
    if (!z || z->run_length > run_.size()) {
        return 0;
    }
    std::vector<std::uint8_t> scratch(run_);
    std::optional<flash::deflate::StreamInflater> decoder;
    if (stream_) {
        decoder = stream_->decoder;
    }
    const auto feed = [&](const proto::ZRun& piece) {
        if (piece.offset == 0 && piece.run_length <= scratch.size()) {
            decoder = flash::deflate::StreamInflater(0, piece.run_length);
        }
        if (decoder &&
            decoder->feed(piece.stream, scratch) == flash::deflate::StreamInflater::Result::bad) {
            decoder.reset();
        }
    };
    for (const Job& job : jobs_) {
        if (const auto queued = proto::parse_zrun(job.frame)) {
            feed(*queued);
        }
    }
    const std::size_t before = z->offset == 0 || !decoder ? 0 : decoder->produced_to();
    feed(*z);
    const std::size_t after = decoder ? decoder->produced_to() : before;
    return after / proto::k_block - std::min(after, before) / proto::k_block;
}

} // namespace trx::sim
