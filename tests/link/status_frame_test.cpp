// The status frame decoder on its own: header fields and the derived values of every stripe.
#include "base/fault.hpp"
#include "link/frame.hpp"
#include "link/status_decoder.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace trx::link {
namespace {

using testkit::StatusShape;

// A received status frame as the receive assembly leaves it: body from position 0, and
// whatever an earlier frame left behind it.
struct Received {
    ReceiveState state;
    explicit Received(std::string_view payload, std::string_view left_behind = {}) {
        std::copy(left_behind.begin(), left_behind.end(), state.buffer.begin());
        const auto cs = checksum_digits(frame_sum('S', payload));
        const std::string body = "S" + std::string(payload) + cs[0] + cs[1];
        std::copy(body.begin(), body.end(), state.buffer.begin());
        state.count = static_cast<std::int16_t>(body.size());
    }
    explicit Received(const StatusShape& s) : Received(testkit::status_payload(s)) {}
    [[nodiscard]] ReceivedFrame frame() const { return ReceivedFrame(state); }
};

StatusContext za(std::optional<std::int32_t> shown = std::nullopt) {
    return {"ZA", shown, {}};
}
StatusContext ya(std::optional<std::int32_t> m) {
    return {"YA", 8192, m};
}

TEST(StatusFrame, WorkedExample) {
    const Received r("1FFF9300010100002002000010");
    ASSERT_EQ(r.state.count, 29);
    const StatusFrame f = decode_status(r.frame(), za());
    EXPECT_EQ(f.header.resolution, 8192);
    EXPECT_EQ(f.header.temperature, 20);
    EXPECT_EQ(f.header.status_word, 1);
    ASSERT_EQ(f.stripes.size(), 2U);
    EXPECT_EQ(f.stripes[0].record.start, 256);
    EXPECT_EQ(f.stripes[0].record.width, 32);
    EXPECT_EQ(f.stripes[0].end, 288);
    EXPECT_FALSE(f.stripes[0].gap);
    EXPECT_EQ(f.stripes[1].record.start, 512);
    EXPECT_EQ(f.stripes[1].end, 528);
    EXPECT_EQ(f.stripes[1].gap, 224);
    EXPECT_FALSE(f.first); // "ZA" has no first-stripe completion
}

TEST(StatusFrame, HeaderFieldsAtTheirLimits) {
    // "0000" keeps the resolution shown before; without one, R is unknown.
    EXPECT_EQ(decode_status(Received("0000000000").frame(), za(4096)).header.resolution, 4096);
    EXPECT_FALSE(decode_status(Received("0000000000").frame(), za()).header.resolution);
    const StatusHeader h = decode_status(Received("FFFFFFFFFF").frame(), za(4096)).header;
    EXPECT_EQ(h.resolution, 65536);
    EXPECT_EQ(h.temperature, 128);
    EXPECT_EQ(h.status_word, -1); // only its bits are used
    const StatusHeader low = decode_status(Received("1fff007f00").frame(), za()).header;
    EXPECT_EQ(low.resolution, 8192); // lower-case digits
    EXPECT_EQ(low.temperature, -127);
    EXPECT_EQ(low.status_word, 0x7F00);
}

TEST(StatusFrame, EndWrapsPastTheResolutionButNotAtIt) {
    StatusShape s;
    s.stripes = {{8000, 500}, {100, 8092}, {8100, 0}, {50, 10}};
    const auto f = decode_status(Received(s).frame(), za());
    EXPECT_EQ(f.stripes[0].end, 308);
    EXPECT_EQ(f.stripes[1].end, 8192);
    EXPECT_EQ(f.stripes[1].gap, 8192 + 100 - 308);   // start before the previous end
    EXPECT_EQ(f.stripes[2].gap, 8192 + 8100 - 8192); // start before an end of R
    EXPECT_EQ(f.stripes[3].gap, 8192 + 50 - 8100);   // across angle zero
}

TEST(StatusFrame, ZaRecordsHaveNoCodeAndEveryLaterGapIsRecorded) {
    StatusShape s;
    s.stripes = {{100, 10}, {5000, 10}, {5011, 10}};
    // M plays no part for "ZA", not even when it is not a number.
    const auto f = decode_status(Received(s).frame(), {"ZA", std::nullopt, std::nullopt});
    ASSERT_EQ(f.stripes.size(), 3U);
    EXPECT_FALSE(f.stripes[0].gap);
    EXPECT_EQ(f.stripes[1].gap, 4890);
    EXPECT_EQ(f.stripes[2].gap, 1);
    for (const auto& st : f.stripes) {
        EXPECT_EQ(st.record.code, 0);
        EXPECT_FALSE(st.tag_width);
        EXPECT_FALSE(st.tag_angle);
    }
    // Any type but "YA" reads 8-character records.
    EXPECT_EQ(decode_status(Received(s).frame(), {"??", 8192, {}}).stripes.size(), 3U);
}

TEST(StatusFrame, YaGapIsRecordedOnlyBelowM) {
    StatusShape s;
    s.ya = true;
    s.stripes = {{1000, 10}, {1110, 10}, {1219, 10}};
    const auto f = decode_status(Received(s).frame(), ya(100));
    EXPECT_FALSE(f.stripes[1].gap); // 100 is not below M
    EXPECT_EQ(f.stripes[2].gap, 99);
}

TEST(StatusFrame, TagAngleRoundsHalvesToEven) {
    for (const auto& [first_start, tag_width] : {std::pair{85, 15}, std::pair{83, 17}}) {
        StatusShape s;
        s.ya = true;
        s.stripes = {{static_cast<std::uint32_t>(first_start), 5}, {95, 5, 0x2A}};
        const auto f = decode_status(Received(s).frame(), ya(100));
        EXPECT_EQ(f.stripes[1].end, 100);
        EXPECT_EQ(f.stripes[1].tag_width, tag_width);
        EXPECT_EQ(f.stripes[1].tag_angle, 92) << "tag width " << tag_width;
        EXPECT_EQ(f.stripes[1].record.code, 0x2A);
    }
    EXPECT_EQ(half_to_even(-1), 0);
    EXPECT_EQ(half_to_even(-3), -2);
    EXPECT_EQ(half_to_even(-5), -2);
    EXPECT_EQ(half_to_even(7), 4);
    EXPECT_EQ(half_to_even(-8), -4);
}

TEST(StatusFrame, TagAcrossAngleZeroKeepsANegativeAngleInTheLoop) {
    StatusShape s;
    s.ya = true;
    s.stripes = {{8150, 20}, {10, 10, 7}};
    const auto f = decode_status(Received(s).frame(), ya(100));
    EXPECT_EQ(f.stripes[1].tag_width, 8192 - 8150 + 20);
    EXPECT_EQ(f.stripes[1].tag_angle, -11);
}

TEST(StatusFrame, FirstStripeIsCompletedAgainstTheLast) {
    StatusShape s;
    s.ya = true;
    s.stripes = {{10, 20, 5}, {8100, 50}};
    const auto f = decode_status(Received(s).frame(), ya(100));
    EXPECT_FALSE(f.stripes[0].tag_width); // unknown until the last stripe is read
    ASSERT_TRUE(f.first);
    EXPECT_EQ(f.first->code, 5);
    EXPECT_EQ(f.first->gap, 8192 - 8150 + 10);
    EXPECT_EQ(f.first->tag_width, 8192 - 8100 + 30);
    EXPECT_EQ(f.first->tag_angle, 30 - 61 + 8192); // negative, so one turn is added
    EXPECT_FALSE(decode_status(Received(s).frame(), ya(52)).first->gap);
}

TEST(StatusFrame, SingleYaStripeIsCompletedAgainstItself) {
    StatusShape s;
    s.ya = true;
    s.stripes = {{1000, 50, 3}};
    const auto f = decode_status(Received(s).frame(), ya(9000));
    ASSERT_EQ(f.stripes.size(), 1U);
    EXPECT_EQ(f.first->gap, 8192 - 1050 + 1000);
    EXPECT_EQ(f.first->tag_width, 8192 - 1000 + 1050);
    EXPECT_EQ(f.first->tag_angle, 1050 - 4121 + 8192);
    s.stripes = {{1000, 0}}; // end equal to start: no wrap
    EXPECT_EQ(decode_status(Received(s).frame(), ya(9000)).first->gap, 0);
    EXPECT_FALSE(decode_status(Received(s).frame(), ya(9000)).first->tag_width);
}

TEST(StatusFrame, NoStripeNoCompletion) {
    const auto f = decode_status(Received("1FFF9300010").frame(), ya(std::nullopt));
    EXPECT_TRUE(f.stripes.empty());
    EXPECT_FALSE(f.first);
}

// A record that reaches into the checksum digits or beyond is not read: the loop ends
// before it, whatever an earlier frame left in the buffer.
TEST(StatusFrame, ARecordNotWhollyInThePayloadIsNotRead) {
    const std::string left_behind(200, '1');
    const Received tail("1FFF930001"
                        "01000020"
                        "0200",
                        left_behind);
    const auto f = decode_status(tail.frame(), za());
    ASSERT_EQ(f.stripes.size(), 1U);
    EXPECT_EQ(f.stripes[0].record.start, 256);
    // 8-character records read as "YA": the second would take the checksum digits.
    const Received mixed("1FFF930001"
                         "01000020"
                         "02000010");
    EXPECT_EQ(decode_status(mixed.frame(), ya(100)).stripes.size(), 1U);
    // A frame full to the buffer's end: 60 whole records, none read past it.
    StatusShape full;
    for (std::uint32_t i = 0; i < 60; ++i) {
        full.stripes.push_back({i * 100, 10});
    }
    const Received longest(full);
    EXPECT_EQ(longest.state.count, 493);
    EXPECT_EQ(decode_status(longest.frame(), za()).stripes.size(), 60U);
}

TEST(StatusFrame, FaultsWhereTheMissingNumberIsFirstNeeded) {
    StatusShape s;
    s.resolution = 0;
    s.stripes = {{256, 32}};
    const Received no_r(s);
    StatusDecoder d(no_r.frame(), za());
    ASSERT_TRUE(d.next_record());
    EXPECT_THROW((void)d.derive(), Fault);

    StatusShape y;
    y.ya = true;
    y.stripes = {{100, 10, 1}, {200, 10}};
    const Received no_m(y);
    StatusDecoder dm(no_m.frame(), ya(std::nullopt));
    ASSERT_TRUE(dm.next_record());
    EXPECT_EQ(dm.derive().end, 110); // stripe 1 has no gap yet: no M needed
    ASSERT_TRUE(dm.next_record());
    EXPECT_THROW((void)dm.derive(), Fault);

    y.stripes.pop_back(); // one stripe: M is first needed by its completion
    const Received one(y);
    StatusDecoder d1(one.frame(), ya(std::nullopt));
    ASSERT_TRUE(d1.next_record());
    (void)d1.derive();
    EXPECT_THROW((void)d1.complete_first(), Fault);
}

} // namespace
} // namespace trx::link
