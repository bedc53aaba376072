// The receive assembly and the shared senders as the program wires them: the link state
// marker, the parameter window's status text, the grids after a decoder fault, the log.
#include "base/fault.hpp"
#include "link/frame.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"

#include <gtest/gtest.h>

namespace trx::main {
namespace {

using testkit::Driver;

struct ProgramLink : ::testing::Test {
    Driver d;
    void SetUp() override {
        d.start();
        ASSERT_TRUE(d.program().services().port.open().ok);
    }
    std::string marker() const { return d.timer_tag("main.Timer1"); }
};

TEST_F(ProgramLink, AGoodFrameMarksTheLinkOnlineAndABadOneDoesNot) {
    d.receive("\x02P51\x03");
    EXPECT_EQ(marker(), "offline");
    d.receive(link::build_frame('Q', "12"));
    EXPECT_EQ(marker(), "online");
}

TEST_F(ProgramLink, BytesArriveOnlyWhileThePortIsOpen) {
    d.program().services().port.close();
    d.receive("\x02P50\x03");
    EXPECT_EQ(marker(), "offline");
    EXPECT_EQ(d.program().receiver().counters().bytes, 0U);
}

// A judged frame is handled once: neither an ETX flood nor the garbage after it brings it
// back. Each handling of this wrong reply would show its box again.
TEST_F(ProgramLink, AFrameFollowedByEtxBytesAndGarbageIsHandledOnce) {
    const std::string wrong = link::build_frame('W', "0012AB34006D000000020003"); // speed 0
    std::string garbage;
    std::uint32_t x = 81500;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1664525U + 1013904223U;
        const auto c = static_cast<char>(x >> 24);
        garbage += c == '\x02' ? '\x03' : c;
    }
    d.receive(wrong + std::string(1000, '\x03') + garbage);
    const auto boxes = d.messages();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "Wrong parameter, please set !");
    EXPECT_EQ(d.program().receiver().counters().good_frames, 1U);
    // The next STX starts afresh.
    d.receive(wrong);
    EXPECT_EQ(d.messages().size(), 1U);
}

TEST_F(ProgramLink, DecoderFaultSwitchesDrawingBackOnKeepsWhatWasShownAndIsLogged) {
    auto& main = d.program().main_form();
    d.program().receiver().on_frame('P', [&](const link::ReceivedFrame&) {
        main.data.set_drawing(false);
        main.data2.set_drawing(false);
        main.data.set_cell(1, 1, "256");
        throw Fault("cell is not a number");
    });
    d.receive("\x02P50\x03");
    EXPECT_TRUE(d.drawing("main.data"));
    EXPECT_TRUE(d.drawing("main.data2"));
    EXPECT_EQ(d.cell("main.data", 1, 1), "256");
    EXPECT_TRUE(d.messages().empty());
    ASSERT_FALSE(d.log().lines().empty());
    EXPECT_EQ(d.log().lines().back().category, "trx.link");
    EXPECT_NE(d.log().lines().back().text.find("cell is not a number"), std::string::npos);
}

TEST(ReadIndexWithClosedPort, SetsTheStatusTextAndSendsNothing) {
    Driver d;
    d.start();
    d.program().defs().send_read_index();
    EXPECT_EQ(d.sent(), "");
    EXPECT_EQ(d.panel("para.statusbar", 0), "Status:");
    EXPECT_TRUE(d.exists("para"));
    EXPECT_FALSE(d.visible("para"));
}

} // namespace
} // namespace trx::main
