// ZDATA and ZRUN with zlib on the host and our inflater on the target: each reads the other's
// pieces byte for byte, with stored, fixed and dynamic blocks, in one piece or cut anywhere; a
// damaged stream is never taken for other content than zlib reads from it.
#include "flashlib/inflate.hpp"
#include "flashlib/protocol.hpp"
#include "flashlib/transfer_plan.hpp"
#include "flashlib/zlib_runs.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <random>
#include <set>

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

// zlib's raw deflate of run[from, from + count), run[0, from) as the dictionary.
Bytes zlib_deflate(const Bytes& run, std::size_t from, std::size_t count, int level, int strategy) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    if (from > 0) {
        EXPECT_EQ(deflateSetDictionary(&z, run.data(), static_cast<uInt>(from)), Z_OK);
    }
    Bytes out(deflateBound(&z, static_cast<uLong>(count)) + 16);
    Bytes in(run.begin() + static_cast<std::ptrdiff_t>(from),
             run.begin() + static_cast<std::ptrdiff_t>(from + count));
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(::deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// zlib's raw inflate: the bytes, when the stream ends properly and uses all its input.
std::optional<Bytes> zlib_inflate(const Bytes& run, std::size_t from, const Bytes& stream,
                                  std::size_t room) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    if (from > 0 && inflateSetDictionary(&z, run.data(), static_cast<uInt>(from)) != Z_OK) {
        inflateEnd(&z);
        return std::nullopt;
    }
    Bytes out(room);
    Bytes in = stream;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    const bool whole = r == Z_STREAM_END && z.avail_in == 0;
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return whole ? std::optional(out) : std::nullopt;
}

// Code, zeros, random bytes and code again: every block type has its place in it.
Bytes mixed_run() {
    Bytes run = code_like(3000, 1);
    run.insert(run.end(), 700, 0x00);
    const Bytes noise = random_bytes(900, 2);
    run.insert(run.end(), noise.begin(), noise.end());
    const Bytes more = code_like(3592, 3);
    run.insert(run.end(), more.begin(), more.end());
    return run;
}

int first_block_type(const Bytes& stream) {
    return stream.empty() ? -1 : (stream[0] >> 1) & 3;
}

TEST(ZlibCodec, TheTargetInflatesWhatZlibWritesWithEveryBlockTypeAndStrategy) {
    const Bytes run = mixed_run();
    std::set<int> types;
    for (const auto& [level, strategy] :
         {std::pair{0, Z_DEFAULT_STRATEGY}, std::pair{1, Z_DEFAULT_STRATEGY},
          std::pair{9, Z_DEFAULT_STRATEGY}, std::pair{9, Z_FIXED}, std::pair{9, Z_HUFFMAN_ONLY},
          std::pair{9, Z_RLE}, std::pair{6, Z_FILTERED}}) {
        for (const auto& [from, count] : {std::pair<std::size_t, std::size_t>{0, 8192},
                                          {3000, 1600},
                                          {5000, 300},
                                          {8000, 192}}) {
            const Bytes stream = zlib_deflate(run, from, count, level, strategy);
            types.insert(first_block_type(stream));
            Bytes target = run;
            std::fill(target.begin() + static_cast<std::ptrdiff_t>(from), target.end(), 0x5A);
            Bytes expect = run;
            std::fill(expect.begin() + static_cast<std::ptrdiff_t>(from + count), expect.end(),
                      0x5A);
            ASSERT_TRUE(deflate::inflate_piece(stream, target, from, count))
                << "level " << level << ", strategy " << strategy << ", from " << from;
            EXPECT_EQ(target, expect) << "level " << level << ", from " << from;
        }
    }
    EXPECT_EQ(types, (std::set<int>{0, 1, 2})) << "stored, fixed and dynamic blocks all came";
}

TEST(ZlibCodec, ZlibAndTheTargetReadTheHostsPiecesAlike) {
    const Bytes run = mixed_run();
    ZlibRunEncoder enc(proto::k_max_inflate);
    for (std::size_t at = 0; at < run.size(); at += 256) {
        const std::span<const std::uint8_t> block(run.data() + at, 256);
        enc.add(block, 256 + 64); // everything, compressible or not
    }
    ASSERT_EQ(enc.size(), run.size());
    const auto pieces = enc.pieces(proto::k_max_payload - proto::k_zdata_header);
    Bytes target(run.size(), 0xEE);
    std::size_t next = 0;
    bool dynamic = false;
    for (const RunPiece& p : pieces) {
        EXPECT_EQ(p.offset, next);
        EXPECT_LE(p.deflate.size(), proto::k_max_payload - proto::k_zdata_header);
        dynamic = dynamic || first_block_type(p.deflate) == 2;
        const auto z = zlib_inflate(run, p.offset, p.deflate, p.count + 64);
        ASSERT_TRUE(z.has_value());
        EXPECT_TRUE(std::equal(z->begin(), z->end(), run.begin() + static_cast<long>(p.offset)));
        EXPECT_EQ(z->size(), p.count);
        ASSERT_TRUE(deflate::inflate_piece(p.deflate, target, p.offset, p.count));
        next = p.offset + p.count;
    }
    EXPECT_EQ(target, run);
    EXPECT_TRUE(dynamic) << "code travels with dynamic Huffman codes";
}

// Flipped bits and cut streams: whatever the target accepts, zlib reads the same from it; a
// stream announcing another length is refused.
TEST(ZlibCodec, ADamagedStreamIsRefusedOrReadAsZlibReadsIt) {
    const Bytes run = mixed_run();
    const std::size_t from = 0;
    const std::size_t count = 3000;
    const Bytes good = zlib_deflate(run, from, count, 9, Z_DEFAULT_STRATEGY);
    ASSERT_EQ(first_block_type(good), 2);
    Bytes target = run;
    EXPECT_FALSE(deflate::inflate_piece(good, target, from, count - 1)) << "more than announced";
    EXPECT_FALSE(deflate::inflate_piece(good, target, from, count + 1)) << "less than announced";
    EXPECT_FALSE(deflate::inflate_piece(good, target, run.size() - 10, count)) << "past the end";
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(deflate::inflate_piece(longer, target, from, count)) << "bytes after the end";
    EXPECT_FALSE(deflate::inflate_piece(Bytes(good.begin(), good.end() - 1), target, from, count));
    EXPECT_FALSE(deflate::inflate_piece(Bytes{0x07}, target, 0, 1)) << "block type 3";
    EXPECT_FALSE(
        deflate::inflate_piece(Bytes{0x01, 0x02, 0x00, 0xFD, 0xFF, 0x41, 0x42}, target, 0, 1))
        << "a stored block longer than the piece";
    // A match reaching before the run: the piece refers back to the 3 bytes before it.
    Bytes abc(103);
    for (std::size_t i = 0; i < abc.size(); ++i) {
        abc[i] = static_cast<std::uint8_t>('a' + i % 3);
    }
    const Bytes back = zlib_deflate(abc, 3, 100, 9, Z_DEFAULT_STRATEGY);
    Bytes room(103, 0);
    EXPECT_FALSE(deflate::inflate_piece(back, room, 0, 100)) << "nothing before the run";
    std::copy_n(abc.begin(), 3, room.begin());
    ASSERT_TRUE(deflate::inflate_piece(back, room, 3, 100));
    EXPECT_EQ(room, abc);

    std::mt19937 rng(7);
    int accepted = 0;
    for (int i = 0; i < 1000; ++i) {
        Bytes bad = good;
        const auto bit = rng() % (bad.size() * 8);
        bad[bit / 8] = static_cast<std::uint8_t>(bad[bit / 8] ^ (1U << (bit % 8)));
        Bytes mine = run;
        if (!deflate::inflate_piece(bad, mine, from, count)) {
            continue;
        }
        ++accepted;
        const auto theirs = zlib_inflate(run, from, bad, count + 300);
        ASSERT_TRUE(theirs.has_value()) << "bit " << bit;
        ASSERT_TRUE(std::equal(theirs->begin(), theirs->end(), mine.begin() + from))
            << "bit " << bit;
        ASSERT_EQ(theirs->size(), count) << "bit " << bit;
    }
    // Flips in literals decode to other bytes: only the frame's CRC and the read-back find them.
    EXPECT_GT(accepted, 0);
}

// Feeds `stream` in pieces of the given sizes (cycled); after each piece the bytes written so
// far must already be the run's. The result of the last feed.
deflate::StreamInflater::Result feed_cut(const Bytes& stream, const std::vector<std::size_t>& cuts,
                                         Bytes& target, const Bytes& run) {
    deflate::StreamInflater decoder(0, target.size());
    auto result = deflate::StreamInflater::Result::more;
    std::size_t produced = 0;
    for (std::size_t at = 0, i = 0; at < stream.size(); ++i) {
        const std::size_t n = std::min(cuts[i % cuts.size()], stream.size() - at);
        result = decoder.feed(std::span(stream).subspan(at, n), target);
        at += n;
        if (result == deflate::StreamInflater::Result::bad) {
            return result;
        }
        EXPECT_GE(decoder.produced_to(), produced);
        produced = decoder.produced_to();
        EXPECT_TRUE(
            std::equal(target.begin(), target.begin() + static_cast<long>(produced), run.begin()))
            << "a byte written before its stream was whole changed";
    }
    return result;
}

// One stream for the whole run, cut anywhere, even inside a code table or a stored block's
// length: the target writes what it has, keeps the rest of a symbol, and ends as zlib does.
TEST(ZlibCodec, AStreamCutAnywhereInflatesAsTheWholeDoes) {
    const Bytes run = mixed_run();
    std::set<int> types;
    for (const auto& [level, strategy] :
         {std::pair{0, Z_DEFAULT_STRATEGY}, std::pair{9, Z_DEFAULT_STRATEGY}, std::pair{9, Z_FIXED},
          std::pair{9, Z_HUFFMAN_ONLY}, std::pair{6, Z_FILTERED}}) {
        const Bytes stream = zlib_deflate(run, 0, run.size(), level, strategy);
        types.insert(first_block_type(stream));
        for (const auto& cuts : {std::vector<std::size_t>{1}, std::vector<std::size_t>{3, 7, 2},
                                 std::vector<std::size_t>{272}}) {
            Bytes target(run.size(), 0xEE);
            EXPECT_EQ(feed_cut(stream, cuts, target, run),
                      deflate::StreamInflater::Result::finished)
                << "level " << level << ", strategy " << strategy << ", cut " << cuts[0];
            EXPECT_EQ(target, run);
        }
    }
    EXPECT_EQ(types, (std::set<int>{0, 1, 2}));
}

// A copy taken before a piece is where a repetition starts: a damaged piece fed to the decoder
// does not touch the copy, and the good piece then goes on from it.
TEST(ZlibCodec, ACopyOfTheDecoderIsACheckpointAndDamageIsRefusedOrReadAsZlibReadsIt) {
    const Bytes run = mixed_run();
    const Bytes stream = zlib_deflate(run, 0, run.size(), 9, Z_DEFAULT_STRATEGY);
    constexpr std::size_t k_piece = 272;
    std::mt19937 rng(11);
    int accepted = 0;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        Bytes target(run.size(), 0);
        deflate::StreamInflater decoder(0, run.size());
        const std::size_t damaged_piece = rng() % ((stream.size() + k_piece - 1) / k_piece);
        Bytes seen = stream;
        bool refused_here = false;
        for (std::size_t at = 0, p = 0; at < stream.size(); at += k_piece, ++p) {
            const std::size_t n = std::min(k_piece, stream.size() - at);
            if (p == damaged_piece) {
                Bytes bad(stream.begin() + static_cast<long>(at),
                          stream.begin() + static_cast<long>(at + n));
                const auto bit = rng() % (n * 8);
                bad[bit / 8] = static_cast<std::uint8_t>(bad[bit / 8] ^ (1U << (bit % 8)));
                deflate::StreamInflater trial = decoder;
                if (trial.feed(bad, target) != deflate::StreamInflater::Result::bad) {
                    // Taken: the line's CRC would have stopped it; here the rest must agree
                    // with zlib reading the same damaged stream.
                    std::copy(bad.begin(), bad.end(), seen.begin() + static_cast<long>(at));
                    decoder = trial;
                    continue;
                }
                refused_here = true;
            }
            const auto r = decoder.feed(std::span(seen).subspan(at, n), target);
            if (r == deflate::StreamInflater::Result::bad) {
                ASSERT_NE(seen, stream) << "the good stream refused after a checkpoint";
                break;
            }
        }
        if (refused_here) {
            ++refused;
            ASSERT_TRUE(decoder.finished()) << "the good piece went on from the checkpoint";
            ASSERT_EQ(target, run);
            continue;
        }
        if (!decoder.finished() || seen == stream) {
            continue;
        }
        ++accepted;
        const auto theirs = zlib_inflate(run, 0, seen, run.size() + 300);
        ASSERT_TRUE(theirs.has_value());
        ASSERT_EQ(*theirs, target);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
}

// The host's plan for a target that streams: whole frames, the stream's bytes in order, and
// every image byte counted once, by the piece that completes it.
TEST(ZlibCodec, ARunAsOneStreamTravelsInWholeFramesAndCostsLessThanPieces) {
    const Bytes run = code_like(8192, 21);
    std::vector<Block> blocks;
    for (std::size_t at = 0; at < run.size(); at += 256) {
        blocks.push_back(
            Block{static_cast<std::uint32_t>(0x20000 + at), std::span(run).subspan(at, 256)});
    }
    const auto frames = plan_transfer(blocks, proto::k_max_inflate, Codec::zlib, RunForm::stream);
    Bytes stream;
    std::int64_t bytes = 0;
    std::size_t line = 0;
    for (const Outgoing& o : frames) {
        ASSERT_EQ(o.type, proto::Type::zrun);
        ASSERT_LE(o.payload.size(), proto::k_max_payload);
        const proto::Frame f{o.type, 0, o.payload};
        const auto z = proto::parse_zrun(f);
        ASSERT_TRUE(z.has_value());
        EXPECT_EQ(z->run_address, 0x20000U);
        EXPECT_EQ(z->run_length, run.size());
        EXPECT_EQ(z->offset, stream.size());
        EXPECT_EQ(o.address, 0x20000U + static_cast<std::uint32_t>(bytes));
        stream.insert(stream.end(), z->stream.begin(), z->stream.end());
        bytes += o.data_bytes;
        line += proto::encode(f).size();
    }
    EXPECT_EQ(bytes, static_cast<std::int64_t>(run.size()));
    const auto theirs = zlib_inflate(run, 0, stream, run.size() + 16);
    ASSERT_TRUE(theirs.has_value());
    EXPECT_EQ(*theirs, run);

    std::size_t pieces = 0;
    for (const Outgoing& o : plan_transfer(blocks, proto::k_max_inflate, Codec::zlib)) {
        pieces += proto::encode(proto::Frame{o.type, 0, o.payload}).size();
    }
    EXPECT_LT(line * 100, pieces * 95) << "one stream " << line << ", pieces " << pieces;
}

TEST(ZlibCodec, TheWindowFollowsTheTargetsBuffer) {
    EXPECT_EQ(window_bits_for(8192), 13);
    EXPECT_EQ(window_bits_for(4096), 12);
    EXPECT_EQ(window_bits_for(1024), 10);
    EXPECT_EQ(window_bits_for(256), 9);
}

// Letters and blanks, as in a firmware's message texts: few distinct bytes, few repeats.
Bytes text_like(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    static constexpr std::string_view k_letters = "etaoinshrdlu     cmfwyp";
    Bytes out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(k_letters[rng() % k_letters.size()]);
    }
    return out;
}

// Fixed codes spend 8 bits on every letter; dynamic ones fit the few that come.
TEST(ZlibCodec, DynamicCodesBeatTheFixedOnesOnTextAndRandomBlocksStillGoRaw) {
    std::vector<Bytes> data;
    for (std::uint32_t i = 0; i < 64; ++i) {
        data.push_back(text_like(256, 100 + i));
    }
    data.push_back(random_bytes(256, 9));
    std::vector<Block> blocks;
    for (std::size_t i = 0; i < data.size(); ++i) {
        blocks.push_back(Block{static_cast<std::uint32_t>(0x10000 + i * 256), data[i]});
    }
    auto line_bytes = [&](Codec codec) {
        std::size_t total = 0;
        for (const Outgoing& o : plan_transfer(blocks, proto::k_max_inflate, codec)) {
            total += proto::encode(proto::Frame{o.type, 0, o.payload}).size();
            if (o.type == proto::Type::data) {
                EXPECT_EQ(o.address, 0x10000U + 64 * 256) << "only the random block goes raw";
            }
        }
        return total;
    };
    const std::size_t zlib = line_bytes(Codec::zlib);
    const std::size_t fixed = line_bytes(Codec::fixed_huffman);
    EXPECT_LT(zlib * 100, fixed * 80) << "zlib " << zlib << ", fixed codes " << fixed;
}

} // namespace
} // namespace trx::flash
