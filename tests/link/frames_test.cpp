// Command frames: exact bytes, the checksum rules and the control command.
#include "link/defs.hpp"
#include "link/frame.hpp"
#include "link/frame_writer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace trx::link {
namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) {
        s += static_cast<char>(c);
    }
    return s;
}

// A port that takes writes of all bytes or none while it has room, as the transmit buffer.
struct Port : FrameOutput {
    bool open = true;
    std::size_t room = 512;
    std::string sent;
    [[nodiscard]] bool is_open() const override { return open; }
    [[nodiscard]] bool write(std::string_view b) override {
        if (!open || b.size() > room) {
            return false;
        }
        room -= b.size();
        sent += b;
        return true;
    }
    std::string take_sent() {
        room = 512;
        return std::exchange(sent, {});
    }
};

struct Wire : ::testing::Test {
    Port port;
    Shared shared;
    FrameWriter writer{port, shared};
    int index_reads = 0;
    Defs defs{writer, [this] { ++index_reads; }};
};

TEST_F(Wire, ReadCommandsAreFiveExactBytes) {
    EXPECT_TRUE(defs.send_read_para());
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x52, 0x35, 0x32, 0x03}));
    EXPECT_TRUE(defs.send_read_index());
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x4C, 0x34, 0x43, 0x03}));
    EXPECT_EQ(index_reads, 1);
    EXPECT_TRUE(writer.send('F'));
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x46, 0x34, 0x36, 0x03}));
}

TEST_F(Wire, ControlCommandForEachFlagCombinationAndNoneForZero) {
    EXPECT_FALSE(defs.send_control(0));
    EXPECT_EQ(port.take_sent(), "");
    defs.send_control(1);
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x43, 0x30, 0x31, 0x41, 0x34, 0x03}));
    defs.send_control(2);
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x43, 0x30, 0x32, 0x41, 0x35, 0x03}));
    defs.send_control(3);
    EXPECT_EQ(port.take_sent(), bytes({0x02, 0x43, 0x30, 0x33, 0x41, 0x36, 0x03}));
}

TEST_F(Wire, ChecksumKeepsLowEightBitsWithALeadingZero) {
    // "I" + "0000": 0x49 + 4 * 0x30 = 0x109 -> "09"
    EXPECT_TRUE(writer.send('I', "0000"));
    EXPECT_EQ(port.take_sent(), "\x02I000009\x03");
    EXPECT_TRUE(writer.send('I', "012C"));
    EXPECT_EQ(port.take_sent(), "\x02I012C1F\x03");
    EXPECT_EQ(shared.checksum_accumulator, 0x49 + '0' + '1' + '2' + 'C');
    // Upper-case hex digits: "L" alone is 4C, never 4c.
    EXPECT_EQ(build_frame('L', ""), "\x02L4C\x03");
}

TEST_F(Wire, FrameBuiltInStepsMatchesTheWholeFrame) {
    ASSERT_TRUE(writer.start('W'));
    writer.add("0012");
    writer.add("AB34");
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(port.take_sent(), build_frame('W', "0012AB34"));
}

TEST_F(Wire, AClosedPortFailsAsAValueAndNothingIsWritten) {
    port.open = false;
    EXPECT_FALSE(defs.send_read_para());
    EXPECT_FALSE(defs.send_read_index());
    EXPECT_EQ(index_reads, 1); // the status text is set all the same
    EXPECT_FALSE(writer.start('W'));
    writer.add("1234");
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(port.take_sent(), "");
}

TEST_F(Wire, AFullTransmitBufferRefusesTheWholeFrame) {
    port.room = 4;
    EXPECT_FALSE(defs.send_read_para()); // 5 bytes do not fit beside 508
    EXPECT_EQ(port.take_sent(), "");
}

TEST(HexField, StopsAtTheFirstNonHexDigitAndReadsEitherCase) {
    EXPECT_EQ(read_hex("1fFf"), 0x1FFFU);
    EXPECT_EQ(read_hex("12 4"), 0x12U);
    EXPECT_EQ(read_hex("  12"), 0U);
    EXPECT_EQ(read_hex(""), 0U);
    EXPECT_EQ(as_int16(read_hex("FFFF")), -1);
    EXPECT_EQ(as_uint16(read_hex("FFFF")), 65535);
    EXPECT_EQ(as_uint16(read_hex("8000")), 32768);
}

} // namespace
} // namespace trx::link
