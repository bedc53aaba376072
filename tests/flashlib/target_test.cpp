// The simulated loader frame by frame: the rules of the protocol that the host alone cannot
// show (repeats, order, refusals, time-outs).
#include "flashlib/checksums.hpp"
#include "flashlib/run_encoder.hpp"
#include "flashlib/zlib_runs.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim_rig.hpp"

#include <gtest/gtest.h>

namespace trx::sim {
namespace {

using flash::proto::Frame;
using flash::proto::Status;
using flash::proto::Type;
using std::chrono::milliseconds;

class TargetTest : public ::testing::Test {
protected:
    TargetTest() {
        std::vector<std::uint8_t> random(memory.content().size());
        for (std::size_t i = 0; i < random.size(); ++i) {
            random[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
        memory.load(random);
        target.enter(now);
    }

    // Sends bytes at the present time and returns the well-formed frames answered.
    std::vector<Frame> send_bytes(const std::string& bytes) {
        std::string out;
        target.receive(bytes, now, out);
        return frames(out);
    }
    std::vector<Frame> send(const Frame& f) { return send_bytes(proto::encode(f)); }
    std::vector<Frame> wait(milliseconds d) {
        std::string out;
        for (auto end = now + d; now < end;) {
            now += milliseconds(1);
            target.poll(now, out);
        }
        return frames(out);
    }
    std::vector<Frame> frames(const std::string& bytes) {
        std::vector<Frame> out;
        for (char c : bytes) {
            if (reader.feed(static_cast<std::uint8_t>(c)) == flash::DelimitedReader::Event::piece) {
                out.push_back(*proto::decode(reader.piece()));
            }
        }
        return out;
    }
    static Status status(const Frame& f) { return proto::parse_ack(f)->status; }
    // The last answer to `f` within `d` of sending it; BUSY when none came.
    Status answer(const Frame& f, milliseconds d = milliseconds(20)) {
        auto a = send(f);
        const auto later = wait(d);
        a.insert(a.end(), later.begin(), later.end());
        return a.empty() ? Status::busy : status(a.back());
    }
    void hello(std::uint16_t seq) {
        ASSERT_EQ(send(Frame{Type::hello, seq, {1}}).at(0).type, Type::hello_reply);
    }
    static Frame data(std::uint16_t seq, std::uint32_t address, std::size_t n,
                      std::uint8_t v = 0x5A) {
        return Frame{Type::data, seq,
                     proto::Writer().u32(address).bytes(std::vector<std::uint8_t>(n, v)).take()};
    }
    static Frame erase(std::uint16_t seq, std::uint32_t address) {
        return Frame{Type::erase, seq, proto::Writer().u32(address).take()};
    }

    FlashMemory memory{flash::trx81500_layout()};
    FlashTarget target{memory};
    std::chrono::nanoseconds now{};
    flash::DelimitedReader reader{flash::proto::k_max_encoded};
};

TEST_F(TargetTest, WithoutASessionOnlyHelloIsTaken) {
    const auto answer = send(erase(1, 0x4000));
    ASSERT_EQ(answer.size(), 1U);
    EXPECT_EQ(status(answer[0]), Status::no_session);
    const auto reply = send(Frame{Type::hello, 9, {1}});
    const auto info = proto::parse_hello_reply(reply.at(0));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(reply[0].seq, 9);
    EXPECT_EQ(info->name, "FLASHMON-TRX81500");
    EXPECT_EQ(info->clock_hz, 20'000'000U);
    EXPECT_EQ(info->layout, flash::trx81500_layout());
}

TEST_F(TargetTest, ARepeatedFrameIsAnsweredAgainAndNotExecutedTwice) {
    hello(1);
    EXPECT_TRUE(send(erase(2, 0x4000)).empty()) << "an erase takes its time";
    auto done = wait(milliseconds(300));
    ASSERT_EQ(done.size(), 3U);
    EXPECT_EQ(status(done[0]), Status::busy);
    EXPECT_EQ(status(done.back()), Status::ok);
    EXPECT_TRUE(send(data(3, 0x4000, 256)).empty()); // programming takes 2 ms
    EXPECT_EQ(status(wait(milliseconds(3)).at(0)), Status::ok);
    const auto repeat = send(data(3, 0x4000, 256));
    ASSERT_EQ(repeat.size(), 1U);
    EXPECT_EQ(repeat[0].seq, 3);
    EXPECT_EQ(status(repeat[0]), Status::ok);
    wait(milliseconds(5));
    EXPECT_EQ(target.counters().data_executed, 1U);
    EXPECT_EQ(memory.reprogrammed_bytes(), 0U);
    EXPECT_EQ(target.counters().repeats_answered, 1U);
}

TEST_F(TargetTest, RefusesBadAddressesAndFramesOutOfStep) {
    hello(1);
    wait(milliseconds(1));
    // The status of the last answer to f; OK for a reply that is not an ACK.
    auto refuse = [&](const Frame& f) {
        auto a = send(f);
        const auto later = wait(milliseconds(5));
        a.insert(a.end(), later.begin(), later.end());
        if (a.empty()) {
            ADD_FAILURE() << "no answer";
            return Status::busy;
        }
        return a.back().type == Type::ack ? status(a.back()) : Status::ok;
    };
    EXPECT_EQ(refuse(erase(2, 0x4100)), Status::bad_address) << "not a sector start";
    EXPECT_EQ(refuse(data(2, 0x40080, 16)), Status::bad_address) << "outside the flash";
    EXPECT_EQ(refuse(data(2, 0x40F0, 32)), Status::bad_address) << "crosses a 256-byte boundary";
    EXPECT_EQ(refuse(Frame{Type::clock, 2, {1}}), Status::bad_request) << "CLOCK has no payload";
    // After a refusal the same number is expected again; far ahead or behind is out of step.
    EXPECT_EQ(status(send(data(40, 0x4000, 4)).at(0)), Status::bad_request);
    EXPECT_TRUE(send(data(3, 0x4000, 4)).empty()) << "one ahead: waits for its predecessor";
    EXPECT_EQ(refuse(Frame{Type::clock, 2, {}}), Status::ok);
}

TEST_F(TargetTest, AHalfFrameIsDroppedAfterTheInterByteTimeout) {
    hello(1);
    const std::string clock = proto::encode(Frame{Type::clock, 2, {}});
    send_bytes(clock.substr(0, 4));
    wait(milliseconds(60));
    const auto answer = send_bytes(clock);
    ASSERT_EQ(answer.size(), 1U);
    EXPECT_EQ(answer[0].type, Type::clock_reply);

    // Within the timeout the pieces belong together: the mixture is damaged and reported.
    send_bytes(clock.substr(0, 4));
    wait(milliseconds(20));
    const auto damaged = send_bytes(proto::encode(Frame{Type::clock, 3, {}}));
    ASSERT_EQ(damaged.size(), 1U);
    EXPECT_EQ(status(damaged[0]), Status::crc_error);
    EXPECT_EQ(proto::parse_ack(damaged[0])->info, 3U) << "names the number it expects";
}

TEST_F(TargetTest, ReportsBusyDuringALongEraseAndBlankChecksTheSector) {
    hello(1);
    send(erase(2, 0x10000)); // 64 KiB: 840 ms
    const auto answers = wait(milliseconds(900));
    ASSERT_GE(answers.size(), 8U);
    for (std::size_t i = 0; i + 1 < answers.size(); ++i) {
        EXPECT_EQ(status(answers[i]), Status::busy);
    }
    EXPECT_EQ(status(answers.back()), Status::ok);
    EXPECT_FALSE(memory.first_not_blank(0x10000, 0x10000).has_value());
    EXPECT_EQ(memory.read(0xFFFF), static_cast<std::uint8_t>(0xFFFF * 7 + 3)) << "sector 3 kept";
}

TEST_F(TargetTest, SilenceOrGoStartsTheFirmwareWhenTheResetVectorIsProgrammed) {
    hello(1);
    wait(milliseconds(29'000));
    EXPECT_FALSE(target.finished());
    wait(milliseconds(1'100));
    EXPECT_TRUE(target.finished()) << "30 s without a frame";

    target.enter(now);
    hello(1);
    send(erase(2, 0x0000));
    wait(milliseconds(400));
    EXPECT_EQ(status(send(Frame{Type::go, 3, {}}).at(0)), Status::ok);
    EXPECT_FALSE(target.finished()) << "blank reset vector: the loader stays";
    EXPECT_FALSE(target.has_session());
}

TEST_F(TargetTest, HelloReplyTellsWhatTheLoaderInflatesAndWhereItStarts) {
    const auto info = proto::parse_hello_reply(send(Frame{Type::hello, 1, {1}}).at(0));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->extended);
    EXPECT_EQ(info->run_capacity(), proto::k_max_inflate);
    EXPECT_EQ(info->reset_vector, 0U);

    TargetConfig older;
    older.legacy_hello = true;
    FlashTarget old_target(memory, older);
    old_target.enter(now);
    std::string out;
    old_target.receive(proto::encode(Frame{Type::hello, 1, {1}}), now, out);
    const auto old_info = proto::parse_hello_reply(frames(out).at(0));
    ASSERT_TRUE(old_info.has_value());
    EXPECT_FALSE(old_info->extended);
    EXPECT_EQ(old_info->run_capacity(), 0U);
    EXPECT_EQ(old_info->reset_vector, 0U) << "the first address of its flash";
}

// A run arrives in pieces; each is inflated after the one before and completes blocks. A
// piece that fails leaves the run as it was, so that its repetition meets the same state.
TEST_F(TargetTest, InflatesARunPieceByPieceAndKeepsItsStateOverAFailedPiece) {
    hello(1);
    send(erase(2, 0x4000));
    wait(milliseconds(400));
    flash::RunEncoder enc(proto::k_max_inflate);
    std::vector<std::uint8_t> run;
    for (std::uint32_t i = 0; i < 3; ++i) {
        const auto b = flash::testing::code_like(256, 40 + i);
        ASSERT_TRUE(enc.add(b, 256 * 8));
        run.insert(run.end(), b.begin(), b.end());
    }
    const auto pieces = enc.pieces(100);
    ASSERT_GE(pieces.size(), 3U);
    auto piece = [&](std::uint16_t seq, std::size_t i) {
        const auto& p = pieces.at(i);
        return Frame{Type::zdata, seq, proto::zdata_payload(0x4000, p.offset, p.count, p.deflate)};
    };
    // The last block gets a bit that sticks at 1 where the run clears it.
    std::uint32_t stuck = 0x4200;
    while ((run[stuck - 0x4000] & 1) != 0) {
        ++stuck;
    }
    memory.stick_bit(stuck, 0, true);
    EXPECT_EQ(answer(piece(3, 1)), Status::bad_request) << "not where the run stands";
    std::uint16_t seq = 3;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        ASSERT_EQ(answer(piece(seq++, i)), Status::ok) << i;
    }
    const std::size_t last = pieces.size() - 1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        send(piece(seq, last));
        const auto later = wait(milliseconds(5));
        ASSERT_FALSE(later.empty());
        EXPECT_EQ(status(later.back()), Status::verify_failed);
        EXPECT_EQ(proto::parse_ack(later.back())->info, stuck);
    }
    for (std::uint32_t a = 0x4000; a < 0x4200; ++a) {
        ASSERT_EQ(memory.read(a), run[a - 0x4000]) << a;
    }
    EXPECT_EQ(target.counters().blocks_programmed, 2U + 2U) << "the last one twice";
}

// A run as one stream: its pieces are taken strictly where the stream stands, each block is
// programmed as soon as the stream holds it whole, and a piece that fails (a broken stream, a
// block that does not read back) leaves the decoder as it was, so its repetition meets the
// same state.
TEST_F(TargetTest, TakesARunsStreamPieceByPieceInOrderAndKeepsTheDecoderOverAFailedPiece) {
    hello(1);
    send(erase(2, 0x4000));
    wait(milliseconds(400));
    flash::ZlibRunEncoder enc(proto::k_max_inflate);
    std::vector<std::uint8_t> run;
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto b = flash::testing::code_like(256, 60 + i);
        ASSERT_TRUE(enc.add(b, 256));
        run.insert(run.end(), b.begin(), b.end());
    }
    const std::vector<std::uint8_t> stream = enc.stream();
    constexpr std::size_t k_cut = 90;
    ASSERT_GE(stream.size(), 4 * k_cut) << "enough pieces to stand between the blocks";
    auto piece_at = [&](std::uint16_t seq, std::size_t offset, std::size_t length = 1024,
                        std::uint32_t address = 0x4000) {
        const auto bytes =
            std::span(stream).subspan(offset, std::min(k_cut, stream.size() - offset));
        return Frame{Type::zrun, seq, proto::zrun_payload(address, length, offset, bytes)};
    };
    EXPECT_EQ(answer(piece_at(3, k_cut)), Status::bad_request) << "no run to continue";
    EXPECT_EQ(answer(piece_at(3, 0, 1000)), Status::bad_request) << "not whole blocks";
    EXPECT_EQ(answer(piece_at(3, 0, 2 * proto::k_max_inflate)), Status::bad_request)
        << "larger than the buffer";
    EXPECT_EQ(answer(piece_at(3, 0, 1024, 0x4080)), Status::bad_address) << "not a block start";
    EXPECT_EQ(answer(piece_at(3, 0, 1024, 0x7FF00)), Status::bad_address) << "past the flash";
    Frame broken = piece_at(3, 0);
    broken.payload[proto::k_zrun_header] = 0x07; // block type 3
    EXPECT_EQ(answer(broken), Status::bad_request) << "not DEFLATE";

    // The last block gets a bit that sticks at 1 where the run clears it.
    std::uint32_t stuck = 0x4300;
    while ((run[stuck - 0x4000] & 1) != 0) {
        ++stuck;
    }
    memory.stick_bit(stuck, 0, true);
    std::uint16_t seq = 3;
    std::size_t offset = 0;
    bool programmed_early = false;
    for (;; offset += k_cut, ++seq) {
        const Status s = answer(piece_at(seq, offset));
        if (s == Status::verify_failed) {
            break;
        }
        ASSERT_EQ(s, Status::ok) << "offset " << offset;
        ASSERT_LT(offset + k_cut, stream.size()) << "the stuck bit was never met";
        programmed_early = programmed_early || target.counters().blocks_programmed > 0;
        if (offset == k_cut) {
            EXPECT_EQ(answer(piece_at(seq + 1, 0)), Status::bad_request)
                << "a new run before this one's stream ended";
            std::vector<std::uint8_t> stored = {0x01, 0x00, 0x01, 0xFF, 0xFE};
            stored.resize(stored.size() + 256, 0x11);
            EXPECT_EQ(answer(Frame{Type::zdata, static_cast<std::uint16_t>(seq + 1),
                                   proto::zdata_payload(0x4000, 0, 256, stored)}),
                      Status::bad_request)
                << "a ZDATA run in the RAM the stream holds";
        }
    }
    EXPECT_TRUE(programmed_early) << "blocks are programmed while the stream still comes";
    EXPECT_EQ(answer(piece_at(seq, offset)), Status::verify_failed) << "the same state again";
    for (std::uint32_t a = 0x4000; a < 0x4300; ++a) {
        ASSERT_EQ(memory.read(a), run[a - 0x4000]) << a;
    }
    memory.stick_bit(stuck, 0, false);
}

// The stream must end exactly: with the run's length and no whole byte after its last block.
TEST_F(TargetTest, AStreamThatEndsWrongIsRefusedAndAFinishedRunTakesNoMore) {
    hello(1);
    send(erase(2, 0x4000));
    wait(milliseconds(400));
    flash::ZlibRunEncoder enc(proto::k_max_inflate);
    std::vector<std::uint8_t> ramp(256);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<std::uint8_t>(i % 16);
    }
    ASSERT_TRUE(enc.add(ramp, 256));
    std::reverse(ramp.begin(), ramp.end());
    ASSERT_TRUE(enc.add(ramp, 256));
    const std::vector<std::uint8_t> stream = enc.stream();
    ASSERT_LT(stream.size(), 270U);
    auto run = [&](std::uint16_t seq, std::size_t length, std::vector<std::uint8_t> bytes,
                   std::size_t offset = 0) {
        return answer(Frame{Type::zrun, seq, proto::zrun_payload(0x4000, length, offset, bytes)});
    };
    EXPECT_EQ(run(3, 768, stream), Status::bad_request) << "shorter than announced";
    auto longer = stream;
    longer.push_back(0);
    EXPECT_EQ(run(3, 512, longer), Status::bad_request) << "a byte after the end";
    EXPECT_EQ(target.counters().blocks_programmed, 0U) << "a refused stream programs nothing";
    ASSERT_EQ(run(3, 512, stream), Status::ok);
    EXPECT_EQ(target.counters().blocks_programmed, 2U);
    EXPECT_EQ(run(4, 512, {0}, stream.size()), Status::bad_request) << "the run has ended";
}

TEST(FlashTargetRam, ARunLargerThanTheInflateBufferIsRefused) {
    FlashMemory memory(flash::trx81500_layout());
    TargetConfig config;
    config.inflate_buffer = 512;
    FlashTarget target(memory, config);
    target.enter({});
    flash::RunEncoder enc(1024);
    ASSERT_TRUE(enc.add(std::vector<std::uint8_t>(256, 1), 256 * 8));
    ASSERT_TRUE(enc.add(std::vector<std::uint8_t>(256, 2), 256 * 8));
    ASSERT_TRUE(enc.add(std::vector<std::uint8_t>(256, 3), 256 * 8));
    const auto p = enc.pieces(272).at(0);
    ASSERT_EQ(p.count, 768U);
    std::string out;
    target.receive(proto::encode(Frame{Type::hello, 1, {1}}), {}, out);
    target.receive(
        proto::encode(Frame{Type::zdata, 2, proto::zdata_payload(0x8000, 0, p.count, p.deflate)}),
        {}, out);
    std::string more;
    target.poll(milliseconds(10), more);
    flash::DelimitedReader reader(proto::k_max_encoded);
    std::vector<Frame> got;
    for (char c : out + more) {
        if (reader.feed(static_cast<std::uint8_t>(c)) == flash::DelimitedReader::Event::piece) {
            got.push_back(*proto::decode(reader.piece()));
        }
    }
    ASSERT_EQ(got.size(), 2U);
    EXPECT_EQ(proto::parse_ack(got[1])->status, Status::bad_request);
    EXPECT_EQ(target.counters().blocks_programmed, 0U);
}

} // namespace
} // namespace trx::sim
