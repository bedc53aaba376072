// Receive assembly, checksum and dispatch, driven byte by byte as from the scanner.
#include "base/fault.hpp"
#include "link/frame.hpp"
#include "link/receiver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trx::link {
namespace {

struct Receive : ::testing::Test {
    int good = 0;                 // good frames reported, before their dispatch
    std::vector<std::string> bad; // bodies with a wrong checksum
    std::vector<std::string> faults;
    Receiver r{{.good_frame = [this] { ++good; },
                .bad_checksum = [this](std::string_view b) { bad.emplace_back(b); },
                .fault = [this](const std::string& what) { faults.push_back(what); }}};
    std::vector<std::string> got; // frame bodies handed to the handlers, in order
    bool gate = false;

    void SetUp() override {
        auto record = [this](const ReceivedFrame& f) { got.emplace_back(f.body()); };
        for (char letter : {'W', 'P', 'L', 'I'}) {
            r.on_frame(letter, record);
        }
        r.on_status(record, [this] { return gate; });
    }
    void receive(std::string_view bytes) { r.port_event(k_ev_receive, bytes); }
    const ReceiveState& state() { return r.state(); }
};

TEST_F(Receive, GoodFrameIsReportedAndDispatched) {
    receive("\x02P50\x03");
    EXPECT_EQ(good, 1);
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
}

TEST_F(Receive, BadChecksumIsDroppedAndCounted) {
    receive("\x02P51\x03");
    EXPECT_EQ(good, 0);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(bad, std::vector<std::string>{"P51"});
    EXPECT_EQ(r.counters().bad_checksums, 1U);
}

TEST_F(Receive, ChecksumDigitsInEitherCaseAndNonHexCountsZero) {
    receive("\x02L00000c\x03"); // 'L' + 4 * '0' = 0x10C
    receive("\x02P5Z\x03");     // 'Z' reads as 0: 0x50
    receive("\x02\x10Z?\x03");  // letter 0x10 against "Z?" = 0: wrong
    EXPECT_EQ(got, (std::vector<std::string>{"L00000c", "P5Z"}));
}

TEST_F(Receive, StxInsideAFrameStartsAfresh) {
    receive("\x02W12\x02P50\x03");
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
    receive("garbage before the first STX\x02I49\x03");
    EXPECT_EQ(got.back(), "I49");
}

TEST_F(Receive, EtxWithFewerThanTwoStoredBytesChangesNothing) {
    receive("\x02\x03");
    receive("\x02P\x03");
    EXPECT_EQ(good, 0);
    EXPECT_EQ(state().count, 1);
    EXPECT_EQ(state().sum, 'P');
    EXPECT_TRUE(got.empty());
}

// An ETX that judged a frame ends it: further ETX bytes judge nothing again, and what follows
// up to the next STX is dropped, so a stale frame is never dispatched twice. The buffer keeps
// the judged frame.
TEST_F(Receive, AJudgedFrameIsOverUntilTheNextStx) {
    receive("\x02P50\x03" + std::string(1000, '\x03'));
    std::string garbage;
    std::uint32_t x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245U + 12345U;
        const auto c = static_cast<char>(x >> 24);
        garbage += c == '\x02' ? '\x03' : c; // anything but STX
    }
    receive(garbage);
    receive("50\x03P50\x03");
    EXPECT_EQ(got, (std::vector<std::string>{"P50"}));
    EXPECT_EQ(good, 1);
    EXPECT_TRUE(bad.empty());
    EXPECT_EQ(state().count, 3);
    EXPECT_EQ(state().sum, 'P');
    // A bad frame is over as well; the next STX starts afresh.
    receive("\x02P51\x03\x03\x03\x02I49\x03");
    EXPECT_EQ(bad, std::vector<std::string>{"P51"});
    EXPECT_EQ(got.back(), "I49");
}

// Ten million ETX bytes after a frame: no overflowing sum, no second dispatch.
TEST_F(Receive, AnEtxFloodChangesNothing) {
    // 'P' + "00P" = 0x100: checksum digits "00", which the old sum matched every 8th ETX.
    receive("\x02P00P00\x03");
    const std::string flood(1 << 20, '\x03');
    for (int i = 0; i < 10; ++i) {
        receive(flood);
    }
    EXPECT_EQ(got.size(), 1U);
    EXPECT_EQ(r.counters().good_frames, 1U);
    EXPECT_EQ(state().sum, 0x100);
}

TEST_F(Receive, UnknownLetterIsAGoodFrameAndIgnored) {
    receive(build_frame('Q', "12"));
    EXPECT_EQ(good, 1);
    EXPECT_TRUE(got.empty());
}

TEST_F(Receive, StatusFramePassesOnlyWhileItsGateHolds) {
    const std::string s = build_frame('S', "1FFF9300010100002002000010");
    receive(s);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(good, 1);
    gate = true;
    receive(s);
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0], "S1FFF930001010000200200001089");
}

TEST_F(Receive, OverlongFrameIsJudgedOnItsFirst500CharactersAndCountedOnce) {
    // 498 payload-ish characters, then two that happen to be the right checksum digits.
    std::string body(497, '1');
    const auto cs = checksum_digits(frame_sum('W', body));
    std::string frame = "\x02W" + body + cs[0] + cs[1] + "EXTRA BYTES ARE DROPPED\x03";
    receive(frame);
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0].size(), 500U);
    EXPECT_EQ(state().count, 500);
    // Without matching digits at 499/500 the frame is dropped.
    receive("\x02W" + std::string(600, '7') + "\x03");
    EXPECT_EQ(got.size(), 1U);
    EXPECT_EQ(r.counters().overlong_frames, 2U);
    EXPECT_EQ(r.counters().good_frames, 1U);
    // The dropped one is overlong and has a bad checksum: one bad frame, not two.
    EXPECT_EQ(r.counters().bad_checksums, 1U);
    EXPECT_EQ(r.counters().overlong_bad_checksums, 1U);
    EXPECT_EQ(r.counters().bad_frames(), 2U) << "the good overlong frame and the dropped one";
}

TEST_F(Receive, EveryByteOnceAndInOrderWhateverTheSplit) {
    const std::string f = build_frame('L', "012C");
    for (std::size_t cut = 0; cut <= f.size(); ++cut) {
        receive(f.substr(0, cut));
        receive(f.substr(cut));
    }
    EXPECT_EQ(got, std::vector<std::string>(f.size() + 1, f.substr(1, f.size() - 2)));
    EXPECT_EQ(r.counters().bytes, f.size() * (f.size() + 1));
}

TEST_F(Receive, OtherPortEventsAreIgnored) {
    for (int code : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1008, 1009, 1011}) {
        r.port_event(code, "\x02P50\x03");
    }
    EXPECT_TRUE(got.empty());
    // A line error in the middle of a frame leaves the frame being collected alone.
    receive("\x02P5");
    r.port_event(1004, "\x02");
    receive("0\x03");
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
}

TEST_F(Receive, DecoderFaultStopsThatEventOnlyAndIsCountedWithItsText) {
    int calls = 0;
    r.on_frame('P', [&](const ReceivedFrame&) {
        ++calls;
        throw Fault("cell is not a number");
    });
    receive("\x02P50\x03\x02I49\x03"); // the fault ends P's event; I still arrives
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, std::vector<std::string>{"I49"});
    EXPECT_EQ(state().count, 3);
    EXPECT_EQ(faults, std::vector<std::string>{"cell is not a number"});
    EXPECT_EQ(r.counters().faults, 1U);
    EXPECT_EQ(r.counters().last_fault, "cell is not a number");
    r.reset_counters();
    EXPECT_EQ(r.counters(), ReceiveCounters{});
}

TEST_F(Receive, ReadsPastTheBufferAreFaultsNotUndefinedBehaviour) {
    bool faulted = false;
    r.on_frame('P', [&](const ReceivedFrame& f) {
        EXPECT_EQ(f.at(500), 0);
        try {
            (void)f.chars(495, 10);
        } catch (const Fault&) {
            faulted = true;
            throw;
        }
    });
    receive("\x02P50\x03");
    EXPECT_TRUE(faulted);
    EXPECT_EQ(r.counters().faults, 1U);
}

} // namespace
} // namespace trx::link
