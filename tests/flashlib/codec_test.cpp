#include "flashlib/checksums.hpp"
#include "flashlib/cobs.hpp"
#include "flashlib/protocol.hpp"

#include <gtest/gtest.h>

#include <random>

namespace trx::flash {
namespace {

TEST(Checksums, MatchTheStandardCheckValues) {
    EXPECT_EQ(crc16(as_bytes("123456789")), 0x29B1);
    EXPECT_EQ(crc32(as_bytes("123456789")), 0xCBF43926U);
    // Summing in pieces, and 0xFF runs without a buffer, give the same value.
    std::vector<std::uint8_t> ff(1000, 0xFF);
    EXPECT_EQ(crc32_update_ff(crc32(as_bytes("12345")), 1000),
              crc32_update(crc32(as_bytes("12345")), ff));
}

TEST(Cobs, RoundTripsBodiesOfEveryShapeWithoutZeroBytes) {
    std::mt19937 rng(3);
    std::vector<std::vector<std::uint8_t>> bodies = {{}, {0}, {0, 0}, {1}};
    for (std::size_t n : {253U, 254U, 255U, 508U, 509U}) {
        bodies.emplace_back(n, 0x11); // runs around the 254-byte code limit
        bodies.back().push_back(0);
    }
    for (int i = 0; i < 200; ++i) {
        std::vector<std::uint8_t> b(rng() % 600);
        for (auto& x : b) {
            x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
        }
        bodies.push_back(b);
    }
    for (const auto& body : bodies) {
        const std::string enc = cobs_encode(body);
        EXPECT_EQ(enc.find('\0'), std::string::npos);
        EXPECT_LE(enc.size(), body.size() + body.size() / 254 + 1);
        const auto dec = cobs_decode(as_bytes(enc));
        ASSERT_TRUE(dec.has_value());
        EXPECT_EQ(*dec, body);
    }
}

TEST(Frames, EveryDamagedFrameIsRefused) {
    const proto::Frame f{
        proto::Type::data, 0x1234,
        proto::Writer().u32(0x012300).bytes(std::vector<std::uint8_t>(256, 0)).take()};
    const std::string enc = proto::encode(f);
    ASSERT_EQ(enc.back(), '\0');
    const std::string piece = enc.substr(0, enc.size() - 1);
    const auto good = proto::decode(as_bytes(piece));
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->seq, 0x1234);
    EXPECT_EQ(good->payload, f.payload);
    // Any single flipped bit, a lost byte or a byte too many is caught.
    for (std::size_t i = 0; i < piece.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string bad = piece;
            bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
            EXPECT_FALSE(proto::decode(as_bytes(bad)).has_value()) << i << "/" << bit;
        }
        std::string shorter = piece;
        shorter.erase(i, 1);
        EXPECT_FALSE(proto::decode(as_bytes(shorter)).has_value()) << i;
    }
    EXPECT_FALSE(proto::decode(as_bytes(piece + "\x01")).has_value());
}

TEST(Frames, TheReaderFindsItsPlaceAgainAfterGarbageAndOverlongPieces) {
    const proto::Frame f{proto::Type::clock_reply, 7, proto::Writer().u32(20'000'000).take()};
    std::string stream = "\x13\x37garbage";
    stream += '\0';
    stream += std::string(400, 'x'); // longer than any frame
    stream += '\0';
    stream += proto::encode(f);
    stream += std::string("\0\0", 2); // empty pieces are not frames
    stream += proto::encode(f);
    DelimitedReader reader(proto::k_max_encoded);
    std::vector<std::string> events;
    for (char c : stream) {
        switch (reader.feed(static_cast<std::uint8_t>(c))) {
        case DelimitedReader::Event::piece:
            events.push_back(proto::decode(reader.piece()) ? "frame" : "damaged");
            break;
        case DelimitedReader::Event::overlong:
            events.emplace_back("overlong");
            break;
        case DelimitedReader::Event::none:
            break;
        }
    }
    EXPECT_EQ(events, (std::vector<std::string>{"damaged", "overlong", "frame", "frame"}));
}

TEST(Frames, HelloReplyCarriesTheTargetAndRefusesTruncation) {
    proto::TargetInfo info;
    info.clock_hz = 24'000'000;
    info.name = "FLASHMON-TRX81500";
    info.layout = trx81500_layout();
    const proto::Frame f{proto::Type::hello_reply, 1, proto::hello_reply_payload(info)};
    const auto back = proto::parse_hello_reply(f);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->name, info.name);
    EXPECT_EQ(back->clock_hz, info.clock_hz);
    EXPECT_EQ(back->layout, info.layout);
    proto::Frame cut = f;
    cut.payload.pop_back();
    EXPECT_FALSE(proto::parse_hello_reply(cut).has_value());
}

TEST(FlashLayouts, UnusableLayoutsAreNamed) {
    EXPECT_EQ(trx81500_layout().problem(), "");
    EXPECT_EQ(trx81500_layout().all_sectors_mask(), 0x7FU);
    EXPECT_NE(FlashLayout{}.problem(), "");
    EXPECT_NE((FlashLayout{{{0, 0x1000}, {0x800, 0x1000}}}).problem(), ""); // overlap
    EXPECT_NE((FlashLayout{{{0x10, 0x1000}}}).problem(), "");               // misaligned
    EXPECT_NE((FlashLayout{{{0xFFFFFF00U, 0x200}}}).problem(), "");         // past 4 GiB
    EXPECT_EQ(describe_sector(trx81500_layout(), 4), "sector 4 (0x010000, 64 KiB)");
}

TEST(Frames, SequenceDistanceWrapsAround) {
    EXPECT_EQ(proto::seq_distance(0xFFFF, 0x0001), 2);
    EXPECT_EQ(proto::seq_distance(0x0001, 0xFFFF), -2);
    EXPECT_EQ(proto::seq_distance(5, 5), 0);
}

} // namespace
} // namespace trx::flash
