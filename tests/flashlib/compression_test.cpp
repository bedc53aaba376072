// The compression of ZDATA: fixed-Huffman DEFLATE that zlib reads as its own, pieces that fit
// a frame, and a decoder that keeps inside the run it inflates.
#include "flashlib/fixed_huffman.hpp"
#include "flashlib/protocol.hpp"
#include "flashlib/run_encoder.hpp"
#include "flashlib/transfer_plan.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace trx::flash {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::code_like;

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(rng());
    }
    return out;
}

// zlib's raw inflate of one piece, the run before it as the dictionary.
Bytes zlib_inflate(const Bytes& run, const RunPiece& p) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    if (p.offset > 0) {
        EXPECT_EQ(inflateSetDictionary(&z, run.data(), static_cast<uInt>(p.offset)), Z_OK);
    }
    Bytes out(p.count + 16);
    Bytes in = p.deflate;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return out;
}

TEST(Compression, PiecesAreDeflateThatZlibAndTheTargetInflateAlike) {
    const std::vector<Bytes> blocks = {code_like(256, 1), Bytes(256, 0x00),  code_like(256, 2),
                                       Bytes(256, 0xFF),  code_like(256, 3), code_like(256, 1)};
    RunEncoder enc(proto::k_max_inflate);
    Bytes run;
    for (const Bytes& b : blocks) {
        ASSERT_TRUE(enc.add(b, 256 * 8));
        run.insert(run.end(), b.begin(), b.end());
    }
    const auto pieces = enc.pieces(100);
    ASSERT_GT(pieces.size(), 2U);
    Bytes target(proto::k_max_inflate, 0xAA);
    std::size_t offset = 0;
    std::size_t packed = 0;
    for (const RunPiece& p : pieces) {
        EXPECT_LE(p.deflate.size(), 100U);
        EXPECT_EQ(p.offset, offset);
        const Bytes want(run.begin() + static_cast<std::ptrdiff_t>(p.offset),
                         run.begin() + static_cast<std::ptrdiff_t>(p.offset + p.count));
        EXPECT_EQ(zlib_inflate(run, p), want);
        ASSERT_TRUE(deflate::inflate_fixed(p.deflate, target, p.offset, p.count));
        offset += p.count;
        packed += p.deflate.size();
    }
    EXPECT_EQ(offset, run.size());
    EXPECT_TRUE(std::equal(run.begin(), run.end(), target.begin()));
    EXPECT_LT(packed * 3, run.size()) << "repeats and fill shrink well";
}

TEST(Compression, TheDecoderReadsZlibsFixedCodeOutputWithADictionary) {
    const Bytes run = code_like(6000, 7);
    const std::size_t split = 4000;
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -13, 9, Z_FIXED), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&z, run.data(), static_cast<uInt>(split)), Z_OK);
    Bytes in(run.begin() + split, run.end());
    Bytes out(4096);
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    ASSERT_EQ(::deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);

    Bytes target(run.begin(), run.begin() + split);
    target.resize(run.size());
    ASSERT_TRUE(deflate::inflate_fixed(out, target, split, run.size() - split));
    EXPECT_EQ(target, run);
}

TEST(Compression, TheDecoderRefusesWhatWouldLeaveTheRunOrTheFormat) {
    RunEncoder enc(1024);
    const Bytes b = code_like(256, 4);
    ASSERT_TRUE(enc.add(b, 256 * 8));
    ASSERT_TRUE(enc.add(b, 256 * 8)); // the second refers back into the first
    const auto pieces = enc.pieces(1000);
    ASSERT_EQ(pieces.size(), 1U);
    const Bytes& d = pieces[0].deflate;
    Bytes run(1024);
    EXPECT_TRUE(deflate::inflate_fixed(d, run, 0, 512));
    EXPECT_FALSE(deflate::inflate_fixed(d, run, 0, 511)) << "more output than announced";
    EXPECT_FALSE(deflate::inflate_fixed(d, run, 0, 513)) << "less output than announced";
    EXPECT_FALSE(deflate::inflate_fixed(d, run, 600, 512)) << "past the end of the buffer";
    Bytes longer = d;
    longer.push_back(0);
    EXPECT_FALSE(deflate::inflate_fixed(longer, run, 0, 512)) << "bytes after the stream";
    EXPECT_FALSE(deflate::inflate_fixed(Bytes(d.begin(), d.end() - 1), run, 0, 512));
    EXPECT_FALSE(deflate::inflate_fixed(Bytes{0x05, 0x00}, run, 0, 1)) << "dynamic codes";
    EXPECT_FALSE(deflate::inflate_fixed(Bytes{0x01, 0x01, 0x00, 0xFE, 0xFF, 0x41}, run, 0, 1))
        << "stored block";

    // A match one byte farther back than the run holds.
    deflate::BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.literal('A');
    w.match(3, 2);
    w.end_of_block();
    EXPECT_FALSE(deflate::inflate_fixed(w.take(), run, 0, 4));
    deflate::BitWriter ok;
    ok.bits(1, 1);
    ok.bits(1, 2);
    ok.match(3, 2);
    ok.end_of_block();
    run[0] = 'x';
    run[1] = 'y';
    ASSERT_TRUE(deflate::inflate_fixed(ok.take(), run, 2, 3)) << "back into the run before";
    EXPECT_EQ(std::string(run.begin(), run.begin() + 5), "xyxyx");
}

TEST(Compression, ARefusedBlockLeavesTheRunAsItWas) {
    RunEncoder enc(proto::k_max_inflate);
    const Bytes code = code_like(256, 5);
    ASSERT_TRUE(enc.add(code, 200 * 8));
    const auto before = enc.pieces(272);
    EXPECT_FALSE(enc.add(random_bytes(256, 6), 248 * 8)) << "random bytes do not shrink";
    EXPECT_EQ(enc.size(), 256U);
    const auto after = enc.pieces(272);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].deflate, before[0].deflate);
    ASSERT_TRUE(enc.add(code, 200 * 8));
    EXPECT_LT(enc.pieces(272)[0].deflate.size(), before[0].deflate.size() + 20)
        << "the repeat is found in the run, not lost with the refused block";
}

TEST(Compression, TheTransferPlanCompressesRunsThatPayAndSendsTheRestRaw) {
    std::vector<Bytes> data;
    std::vector<Block> blocks;
    auto add = [&](std::uint32_t address, Bytes b) {
        data.push_back(std::move(b));
        blocks.push_back(Block{address, {}});
    };
    for (std::uint32_t i = 0; i < 40; ++i) {
        add(0x1000 + i * 256, code_like(256, 10 + i)); // 10 KiB: more than one run
    }
    add(0x4000, random_bytes(256, 1)); // does not shrink
    add(0x4100, code_like(256, 60));
    add(0x8000, code_like(256, 61)); // not next to the one before
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        blocks[i].data = data[i];
    }

    const auto raw = plan_transfer(blocks, 0);
    ASSERT_EQ(raw.size(), blocks.size());
    for (const Outgoing& o : raw) {
        EXPECT_EQ(o.type, proto::Type::data);
    }

    const auto planned = plan_transfer(blocks, proto::k_max_inflate);
    std::int64_t bytes = 0;
    std::size_t payload = 0;
    std::vector<std::uint32_t> run_starts;
    for (const Outgoing& o : planned) {
        bytes += o.data_bytes;
        payload += o.payload.size();
        EXPECT_LE(o.payload.size(), proto::k_max_payload);
        if (o.type == proto::Type::data) {
            EXPECT_EQ(o.address, 0x4000U) << "only the random block goes raw";
            continue;
        }
        const auto z = proto::parse_zdata(proto::Frame{o.type, 0, o.payload});
        ASSERT_TRUE(z.has_value());
        EXPECT_LE(std::size_t{z->offset} + z->count, proto::k_max_inflate);
        if (z->offset == 0) {
            run_starts.push_back(z->run_address);
        }
    }
    EXPECT_EQ(bytes, static_cast<std::int64_t>(blocks.size() * 256));
    EXPECT_EQ(run_starts, (std::vector<std::uint32_t>{0x1000, 0x3000, 0x4100, 0x8000}));
    EXPECT_LT(payload * 10, blocks.size() * 256 * 7) << "at least 30 % smaller on the line";
}

} // namespace
} // namespace trx::flash
