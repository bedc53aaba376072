// The RFC 2217 client codec on hand-made byte streams: what it answers, what it passes on as
// the line's bytes, and what it drops.
#include "netport/telnet_codec.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

using namespace trx::net;
using namespace trx::net::telnet;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

struct Fed {
    std::string data;
    std::string reply;
};

Fed feed(Rfc2217Codec& c, const std::string& in) {
    Fed f;
    c.take(in, f.data, f.reply);
    return f;
}

// A server that agrees to everything the client asked for.
Rfc2217Codec agreed() {
    Rfc2217Codec c;
    (void)c.start();
    (void)feed(c, bytes({k_iac, k_do, k_com_port, k_iac, k_do, k_binary, k_iac, k_will, k_binary,
                         k_iac, k_do, k_sga, k_iac, k_will, k_sga}));
    return c;
}

TEST(TelnetCodec, OpensWithTheComPortOptionAndBinaryBothWays) {
    Rfc2217Codec c;
    EXPECT_EQ(c.start(), bytes({k_iac, k_will, k_com_port, k_iac, k_will, k_binary, k_iac, k_will,
                                k_sga, k_iac, k_do, k_binary, k_iac, k_do, k_sga}));
    EXPECT_EQ(c.com_port(), Rfc2217Codec::ComPort::asked);
    // The server's agreements answer the client's requests: nothing goes back.
    const Fed f = feed(c, bytes({k_iac, k_do, k_com_port, k_iac, k_will, k_binary}));
    EXPECT_EQ(f.reply, "");
    EXPECT_EQ(c.com_port(), Rfc2217Codec::ComPort::agreed);
    EXPECT_TRUE(c.telnet_seen());
}

TEST(TelnetCodec, ARefusedComPortOptionIsReported) {
    Rfc2217Codec c;
    (void)c.start();
    const Fed f = feed(c, bytes({k_iac, k_dont, k_com_port}));
    EXPECT_EQ(c.com_port(), Rfc2217Codec::ComPort::refused);
    EXPECT_EQ(f.reply, ""); // a refusal of a request is not answered again
}

TEST(TelnetCodec, UnknownOptionsAreRefusedOnceAndNeverLoop) {
    Rfc2217Codec c = agreed();
    Fed f = feed(c, bytes({k_iac, k_do, 24, k_iac, k_will, 31}));
    EXPECT_EQ(f.reply, bytes({k_iac, k_wont, 24, k_iac, k_dont, 31}));
    // The server accepting the refusal gets no answer back.
    f = feed(c, bytes({k_iac, k_wont, 31, k_iac, k_dont, 24}));
    EXPECT_EQ(f.reply, "");
    // An option the server offers on its own (echo) is taken once; repeating it changes nothing.
    f = feed(c, bytes({k_iac, k_will, k_echo}));
    EXPECT_EQ(f.reply, bytes({k_iac, k_do, k_echo}));
    f = feed(c, bytes({k_iac, k_will, k_echo}));
    EXPECT_EQ(f.reply, "");
    // ... and withdrawing it is confirmed.
    f = feed(c, bytes({k_iac, k_wont, k_echo}));
    EXPECT_EQ(f.reply, bytes({k_iac, k_dont, k_echo}));
}

TEST(TelnetCodec, DoubledIacIsOneDataByteAndUnknownCommandsAreDropped) {
    Rfc2217Codec c = agreed();
    // IAC IAC, then NOP (241), AYT (246) and a byte no command has (17) between data.
    const Fed f =
        feed(c, bytes({'A', k_iac, k_iac, 'B', k_iac, 241, 'C', k_iac, 246, k_iac, 17, 'D'}));
    EXPECT_EQ(f.data, bytes({'A', 0xFF, 'B', 'C', 'D'}));
    EXPECT_EQ(f.reply, "");
}

TEST(TelnetCodec, SequencesSplitAcrossReadsAreJoined) {
    Rfc2217Codec c = agreed();
    const std::string stream = bytes({'x', k_iac, k_iac, k_iac, k_sb, k_com_port, 101, 0, 0, 0xE1,
                                      0, k_iac, k_se, 'y', k_iac, k_do, 24, 'z'});
    std::string data;
    std::string reply;
    for (char b : stream) {
        c.take(std::string(1, b), data, reply);
    }
    EXPECT_EQ(data, bytes({'x', 0xFF, 'y', 'z'}));
    EXPECT_EQ(reply, bytes({k_iac, k_wont, 24}));
    EXPECT_EQ(c.answered(k_set_baudrate), 57600U);
}

TEST(TelnetCodec, ServerAnswersToComPortCommandsAreKeptWithTheirValues) {
    Rfc2217Codec c = agreed();
    const Fed f = feed(c, bytes({k_iac, k_sb, k_com_port, 102, 8, k_iac, k_se, k_iac, k_sb,
                                 k_com_port, 105, 1, k_iac, k_se,
                                 // a notification of the modem lines is no answer
                                 k_iac, k_sb, k_com_port, 107, 0x30, k_iac, k_se}));
    EXPECT_EQ(f.data, "");
    EXPECT_EQ(c.answered(k_set_datasize), 8U);
    EXPECT_EQ(c.answered(k_set_control), 1U);
    EXPECT_FALSE(c.answered(k_set_parity).has_value());
    EXPECT_FALSE(c.answered(k_set_baudrate).has_value());
}

TEST(TelnetCodec, ASubnegotiationCutShortByACommandIsDroppedAndTheCommandTaken) {
    Rfc2217Codec c = agreed();
    // SB without its SE, then IAC DO 24: the answer is lost, the command is answered, and the
    // data after it is the line's again.
    const Fed f = feed(c, bytes({k_iac, k_sb, k_com_port, 101, 0, 0, k_iac, k_do, 24, 'q'}));
    EXPECT_FALSE(c.answered(k_set_baudrate).has_value());
    EXPECT_EQ(f.reply, bytes({k_iac, k_wont, 24}));
    EXPECT_EQ(f.data, "q");
}

TEST(TelnetCodec, AnOverlongSubnegotiationIsIgnoredNotKept) {
    Rfc2217Codec c = agreed();
    std::string in = bytes({k_iac, k_sb, k_com_port, 101});
    in += std::string(5000, '\x01');
    in += bytes({k_iac, k_se, 'k'});
    const Fed f = feed(c, in);
    EXPECT_FALSE(c.answered(k_set_baudrate).has_value());
    EXPECT_EQ(f.data, "k");
}

TEST(TelnetCodec, EncodeDoublesEveryIacAndKeepsCrInBinary) {
    const Rfc2217Codec c = agreed();
    EXPECT_EQ(c.encode(bytes({0xFF, 0x0D, 0x00, 0xFF, 0xFF, 'a'})),
              bytes({0xFF, 0xFF, 0x0D, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}));
    // The round trip through a server that undoubles gives the bytes back.
    Rfc2217Codec back = agreed();
    const std::string all = [] {
        std::string s;
        for (int i = 0; i < 256; ++i) {
            s.push_back(static_cast<char>(i));
        }
        return s;
    }();
    EXPECT_EQ(feed(back, c.encode(all)).data, all);
}

TEST(TelnetCodec, WithoutBinaryCrTravelsAsCrNul) {
    Rfc2217Codec c;
    (void)c.start();
    // The server refuses binary both ways.
    (void)feed(c,
               bytes({k_iac, k_do, k_com_port, k_iac, k_dont, k_binary, k_iac, k_wont, k_binary}));
    EXPECT_EQ(c.encode("a\rb"), bytes({'a', 0x0D, 0x00, 'b'}));
    EXPECT_EQ(feed(c, bytes({'a', 0x0D, 0x00, 'b', 0x0D, 0x0A})).data,
              bytes({'a', 0x0D, 'b', 0x0D, 0x0A}));
}

TEST(TelnetCodec, LineSettingsAre57600EightNoneOneWithoutFlowControl) {
    EXPECT_EQ(Rfc2217Codec::line_settings(57600),
              bytes({k_iac, k_sb, k_com_port, 1, 0, 0,     0xE1, 0x00, k_iac, k_se, // baud
                     k_iac, k_sb, k_com_port, 2, 8, k_iac, k_se,                    // 8 data bits
                     k_iac, k_sb, k_com_port, 3, 1, k_iac, k_se,                    // no parity
                     k_iac, k_sb, k_com_port, 4, 1, k_iac, k_se,                    // one stop bit
                     k_iac, k_sb, k_com_port, 5, 1, k_iac, k_se}));                 // no flow
    // A rate whose value holds 0xFF has it doubled inside the subnegotiation.
    EXPECT_EQ(Rfc2217Codec::set_baudrate(0x0001C2FF),
              bytes({k_iac, k_sb, k_com_port, 1, 0, 1, 0xC2, 0xFF, 0xFF, k_iac, k_se}));
    EXPECT_EQ(Rfc2217Codec::control_lines_on(),
              bytes({k_iac, k_sb, k_com_port, 5, 8, k_iac, k_se, k_iac, k_sb, k_com_port, 5, 11,
                     k_iac, k_se}));
}

TEST(TelnetCodec, DataBeforeAnyTelnetCommandIsCounted) {
    Rfc2217Codec c;
    (void)c.start();
    (void)feed(c, "SSH-2.0-OpenSSH\r\n");
    EXPECT_FALSE(c.telnet_seen());
    EXPECT_EQ(c.data_before_telnet(), 17U);
}

} // namespace
