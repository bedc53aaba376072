// Receive assembly, checksum and dispatch, driven as bytes from the scanner.
#include "link/frame.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"
#include "ui/fault.hpp"

#include <gtest/gtest.h>

namespace trx::link {
namespace {

using testkit::Driver;

struct Receive : ::testing::Test {
    Driver d;
    std::vector<std::string> got; // frame bodies handed to the handlers, in order

    void SetUp() override {
        d.start();
        ASSERT_TRUE(d.program().services().port.open().ok);
        auto record = [this](const ReceivedFrame& f) { got.emplace_back(f.body()); };
        for (char letter : {'W', 'P', 'L', 'I'}) {
            d.program().receiver().on_frame(letter, record);
        }
        d.program().receiver().on_status(record, [this] { return status_gate(); });
    }
    bool status_gate() {
        auto& p = d.program();
        return !p.para_form().window.shown() && p.shared().parameters_received &&
               p.shared().parameter_set_valid;
    }
    std::string marker() const { return d.timer_tag("main.Timer1"); }
    const ReceiveState& state() { return d.program().receiver().state(); }
};

TEST_F(Receive, GoodFrameMarksOnlineAndIsDispatched) {
    d.receive("\x02P50\x03");
    EXPECT_EQ(marker(), "online");
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
}

TEST_F(Receive, BadChecksumIsDroppedSilently) {
    d.receive("\x02P51\x03");
    EXPECT_EQ(marker(), "offline");
    EXPECT_TRUE(got.empty());
}

TEST_F(Receive, ChecksumDigitsInEitherCaseAndNonHexCountsZero) {
    d.receive("\x02L00000c\x03"); // 'L' + 4 * '0' = 0x10C
    d.receive("\x02P5Z\x03");     // 'Z' reads as 0: 0x50
    d.receive("\x02\x10Z?\x03");  // letter 0x10 against "Z?" = 0: wrong
    EXPECT_EQ(got, (std::vector<std::string>{"L00000c", "P5Z"}));
}

TEST_F(Receive, StxInsideAFrameStartsAfresh) {
    d.receive("\x02W12\x02P50\x03");
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
    d.receive("garbage before the first STX\x02I49\x03");
    EXPECT_EQ(got.back(), "I49");
}

TEST_F(Receive, EtxWithFewerThanTwoStoredBytesChangesNothing) {
    d.receive("\x02\x03");
    d.receive("\x02P\x03");
    EXPECT_EQ(marker(), "offline");
    EXPECT_EQ(state().count, 1);
    EXPECT_EQ(state().sum, 'P');
    EXPECT_TRUE(got.empty());
}

// ETX resets nothing; a second ETX takes the checksum digits out of the sum once more, so
// the same bytes do not pass twice.
TEST_F(Receive, EtxDoesNotResetAndASecondEtxDoesNotDispatchAgain) {
    d.receive("\x02P50\x03\x03");
    EXPECT_EQ(got, (std::vector<std::string>{"P50"}));
    EXPECT_EQ(state().count, 3);
}

TEST_F(Receive, UnknownLetterMarksOnlineAndIsIgnored) {
    d.receive(build_frame('Q', "12"));
    EXPECT_EQ(marker(), "online");
    EXPECT_TRUE(got.empty());
}

TEST_F(Receive, StatusFramePassesOnlyUnderItsCondition) {
    const std::string s = build_frame('S', "1FFF9300010100002002000010");
    d.receive(s);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(marker(), "online");
    auto& shared = d.program().shared();
    shared.parameters_received = true;
    shared.parameter_set_valid = true;
    d.program().para_form().window.show();
    d.receive(s);
    EXPECT_TRUE(got.empty());
    d.program().para_form().window.hide();
    d.receive(s);
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0], "S1FFF930001010000200200001089");
}

TEST_F(Receive, OverlongFrameIsJudgedOnItsFirst500Characters) {
    // 498 payload-ish characters, then two that happen to be the right checksum digits.
    std::string body(497, '1');
    const auto cs = checksum_digits(frame_sum('W', body));
    std::string frame = "\x02W" + body + cs[0] + cs[1] + "EXTRA BYTES ARE DROPPED\x03";
    d.receive(frame);
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0].size(), 500U);
    EXPECT_EQ(state().count, 500);
    // Without matching digits at 499/500 the frame is dropped.
    d.receive("\x02W" + std::string(600, '7') + "\x03");
    EXPECT_EQ(got.size(), 1U);
}

TEST_F(Receive, EveryByteOnceAndInOrderWhateverTheSplit) {
    const std::string f = build_frame('L', "012C");
    for (std::size_t cut = 0; cut <= f.size(); ++cut) {
        d.receive(f.substr(0, cut));
        d.receive(f.substr(cut));
    }
    EXPECT_EQ(got, std::vector<std::string>(f.size() + 1, f.substr(1, f.size() - 2)));
}

TEST_F(Receive, OtherPortEventsAreIgnored) {
    for (int code : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1008, 1009, 1011}) {
        d.program().receiver().port_event(code, "\x02P50\x03");
    }
    EXPECT_TRUE(got.empty());
    // A line error in the middle of a frame leaves the frame being collected alone.
    d.receive("\x02P5");
    d.program().receiver().port_event(1004, "\x02");
    d.receive("0\x03");
    EXPECT_EQ(got, std::vector<std::string>{"P50"});
}

TEST_F(Receive, BytesArriveOnlyWhileThePortIsOpen) {
    d.program().services().port.close();
    d.receive("\x02P50\x03");
    EXPECT_EQ(marker(), "offline");
    EXPECT_TRUE(got.empty());
}

TEST_F(Receive, DecoderFaultStopsThatEventOnlyAndSwitchesDrawingBackOn) {
    auto& main = d.program().main_form();
    int calls = 0;
    d.program().receiver().on_frame('P', [&](const ReceivedFrame&) {
        ++calls;
        main.data.set_drawing(false);
        main.data2.set_drawing(false);
        main.data.set_cell(1, 1, "256");
        throw Fault("cell is not a number");
    });
    d.receive("\x02P50\x03\x02I49\x03"); // the fault ends P's event; I still arrives
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(d.drawing("main.data"));
    EXPECT_TRUE(d.drawing("main.data2"));
    EXPECT_EQ(d.cell("main.data", 1, 1), "256");
    EXPECT_EQ(got, std::vector<std::string>{"I49"});
    EXPECT_EQ(state().count, 3);
}

TEST_F(Receive, ReadsPastTheBufferAreFaultsNotUndefinedBehaviour) {
    bool faulted = false;
    d.program().receiver().on_frame('P', [&](const ReceivedFrame& f) {
        EXPECT_EQ(f.at(500), 0);
        try {
            (void)f.chars(495, 10);
        } catch (const Fault&) {
            faulted = true;
            throw;
        }
    });
    d.receive("\x02P50\x03");
    EXPECT_TRUE(faulted);
}

} // namespace
} // namespace trx::link
