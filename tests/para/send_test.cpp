// Storing the parameter set: the "W" command field by field, the "P" acknowledgement and the
// refusals that keep a wrong or lost store from passing as done.
#include "link/para_frame.hpp"
#include "main/port_output.hpp"
#include "para/para_send.hpp"
#include "para_fixture.hpp"
#include "testkit/fake_port.hpp"

namespace trx::para::test {
namespace {

struct ParaSend : ParaTest {
    // Online with the window shown and a reply in it: the send button can be clicked.
    void ready(const std::string& reply) {
        show_para();
        d.receive(reply);
        ASSERT_TRUE(d.messages().empty());
        keep_alive();
    }
};

TEST_F(ParaSend, ShortSetAsTheReplyFilledIt) {
    ready(Reply{}.za());
    d.program().para_form().statusbar.set_simple_text("Status:   Parameters received");
    d.click("para.cmd_send_para");
    const std::string frame = d.sent();
    EXPECT_EQ(frame, link::build_frame('W', "0012AB34"
                                            "006D"
                                            "007D"
                                            "0002"
                                            "0003"));
    EXPECT_EQ(frame.size(), 27U + 2U); // the body and STX, ETX
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaSend, ExtendedSetFromSpinnersAndLists) {
    Reply r;
    r.gap_offset_abs = r.equal_tolerance_abs = r.min_modul_angle = r.max_modul_angle = "0002";
    r.equal_tolerance_rel = r.gap_offset_rel = "0002";
    r.gap_correction = "000B";
    ready(r.ya());
    for (const char* spinner :
         {"para.gap_offset_abs", "para.equal_tolerance_abs", "para.min_modul_angle",
          "para.max_modul_angle", "para.equal_tolerance_rel", "para.gap_offset_rel",
          "para.gap_correction"}) {
        d.spin(spinner, -1);
    }
    d.select("para.can_baudrate", 2);
    d.select("para.rs232_baudrate", 4);
    d.click("para.cmd_send_para");
    const std::string frame = d.sent();
    ASSERT_EQ(frame.size(), 83U + 2U);
    const std::string body = frame.substr(1, 83);
    EXPECT_EQ(body.substr(25, 16), "0001000100010001");
    EXPECT_EQ(body.substr(41, 4), "0305");
    EXPECT_EQ(body.substr(45, 12), "00010001000A");
    EXPECT_EQ(body.substr(57, 4), "07FF");
    EXPECT_EQ(body.substr(61, 20), std::string(20, '0'));
    EXPECT_EQ(frame, link::build_frame('W', body.substr(1, 80)));
}

// A typed value the spinner never took is not sent; the spinner's last value is.
TEST_F(ParaSend, SpeedAndFiltersComeFromTheSpinnersNotTheTexts) {
    Reply r;
    r.speed = "0064";
    r.gap_correction = "0032";
    ready(r.ya());
    d.type("para.gap_correction_anz", "\b");
    d.type("para.speed_anz", "\b\b\b9");
    ASSERT_EQ(d.text("para.gap_correction_anz"), "5");
    ASSERT_EQ(d.text("para.speed_anz"), "19");
    d.click("para.cmd_send_para");
    const std::string body = d.sent().substr(1, 83);
    EXPECT_EQ(body.substr(13, 4), "0064");
    EXPECT_EQ(body.substr(53, 4), "0032");
}

TEST_F(ParaSend, NoSelectionSendsFfffForResolutionAndZeroForBaudRates) {
    ready(Reply{}.ya());
    d.select("para.auflösung", -1);
    d.select("para.can_baudrate", -1);
    d.select("para.rs232_baudrate", -1);
    d.click("para.cmd_send_para");
    const std::string body = d.sent().substr(1, 83);
    EXPECT_EQ(body.substr(17, 4), "FFFF");
    EXPECT_EQ(body.substr(41, 4), "0000");
}

TEST_F(ParaSend, CanIdentifierFromTheLastThreeCharacters) {
    Reply r;
    r.can_identifier = "01a5";
    ready(r.ya());
    auto can_field = [this] {
        d.click("para.cmd_send_para");
        return d.sent().substr(1 + 57, 4);
    };
    EXPECT_EQ(can_field(), "01A5");
    d.type("para.can_identifier", "\b\b\b\b");
    ASSERT_EQ(d.text("para.can_identifier"), "0x");
    EXPECT_EQ(can_field(), "0000");
    d.type("para.can_identifier", "12");
    d.leave("para.can_identifier");
    EXPECT_EQ(can_field(), "0012");
    d.type("para.can_identifier", "\b\b\b999");
    d.leave("para.can_identifier"); // above 0x7FF: cleared
    ASSERT_EQ(d.text("para.can_identifier"), "");
    EXPECT_EQ(can_field(), "0000");
}

// The version goes back as received, never re-derived from the text "6,25".
TEST_F(ParaSend, VersionAndLongSerialNumbersGoBackAsReceived) {
    Reply r;
    r.version = "0271";
    r.serial = "FFFFFFFE";
    ready(r.za());
    ASSERT_EQ(d.text("para.version"), "6,25");
    ASSERT_EQ(d.text("para.seriennummer"), "4294967294");
    d.click("para.cmd_send_para");
    const std::string body = d.sent().substr(1, 27);
    EXPECT_EQ(body.substr(1, 8), "FFFFFFFE");
    EXPECT_EQ(body.substr(9, 4), "0271");
}

TEST_F(ParaSend, AcknowledgementShowsSavedAndValidatesTheSet) {
    Reply r;
    r.speed = "00B5";
    d.receive(r.za());
    ASSERT_FALSE(shared().parameter_set_valid);
    (void)d.messages();
    d.receive(link::build_frame('P', ""));
    EXPECT_TRUE(shared().parameter_set_valid);
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters saved");
    EXPECT_FALSE(d.visible("para"));
}

TEST_F(ParaSend, RefusesWithoutAReplyOrWithABadSerialNumber) {
    show_para();
    keep_alive();
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("No parameters have been read"), std::string::npos);
    EXPECT_EQ(d.sent(), "");

    d.receive(Reply{}.za());
    d.key("para", testkit::ctrl | testkit::alt, 'J');
    for (const char* text : {"", "12a", "-1", "1 2", "0x10"}) {
        retype("para.seriennummer", text);
        d.click("para.cmd_send_para");
        EXPECT_NE(refusal().find("Serial No."), std::string::npos) << text;
        EXPECT_EQ(d.sent(), "") << text;
    }
    retype("para.seriennummer", "12345678");
    d.click("para.cmd_send_para");
    EXPECT_EQ(d.sent().substr(2, 8), "00BC614E");
}

TEST_F(ParaSend, SaysNothingWasStoredWhenThePortCannotTakeTheFrame) {
    ready(Reply{}.ya());
    auto& port = d.program().services().port;
    ASSERT_TRUE(port.write(std::string(500, 'x'))); // a transmit buffer with no room left
    (void)d.sent();
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("Nothing was stored"), std::string::npos);
    EXPECT_EQ(d.sent(), "");

    port.close();
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("not open"), std::string::npos);
    EXPECT_EQ(d.sent(), "");
}

// Bytes that do not leave the PC are no store: the sender's refusal shows, and the next
// write, with the device well again, is judged on its own.
TEST_F(ParaSend, WriteErrorsAreReportedAndNotHeldAgainstTheNextWrite) {
    ready(Reply{}.ya());
    d.key("para", testkit::ctrl | testkit::alt, 'J');
    d.writes_fail(true);
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("did not take the parameters. Nothing was stored."),
              std::string::npos);
    retype("para.index", "300");
    d.click("para.command_write_index");
    EXPECT_NE(refusal().find("The index was not written."), std::string::npos);
    EXPECT_EQ(d.sent(), "");

    d.writes_fail(false);
    d.click("para.command_write_index");
    EXPECT_EQ(d.sent(), "\x02I012C1F\x03");
    d.click("para.cmd_send_para");
    EXPECT_EQ(d.sent().substr(0, 10), "\x02W0012AB34");
    EXPECT_TRUE(d.messages().empty());
}

// From one scanner to the next, by a new port or a swapped cable: the window still shows the
// old scanner's set, and no store goes out until the new one's reply is in.
TEST_F(ParaSend, NoStoreUntilTheNewConnectionsReplyIsIn) {
    for (const bool reopen : {true, false}) {
        ready(Reply{}.ya());
        if (reopen) {
            close_port();
            d.click("main.Toolbar1.comport");
        }
        d.advance(1000ms); // no frames: offline
        ASSERT_EQ(d.panel("main.StatusBar1", 1), "offline");
        bring_online();
        d.click("para.cmd_send_para");
        EXPECT_NE(refusal().find("have not been read since it was connected"), std::string::npos)
            << reopen;
        EXPECT_EQ(d.sent(), "") << reopen;

        Reply other;
        other.serial = "00000007";
        d.receive(other.ya());
        keep_alive();
        d.click("para.cmd_send_para");
        EXPECT_EQ(d.sent().substr(0, 10), "\x02W00000007") << reopen;
        EXPECT_TRUE(d.messages().empty()) << reopen;
    }
}

// With "Motor off" checked the 1 ms timer keeps the line busy; a store still goes out whole.
TEST_F(ParaSend, StoreGetsThroughWhileControlFramesFlow) {
    ready(Reply{}.ya());
    d.key("main", testkit::ctrl | testkit::alt, 'Q');
    d.click("main.motor_off");
    for (int i = 0; i < 37; ++i) {
        d.advance(1ms);
    }
    (void)d.sent();
    d.click("para.cmd_send_para");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_NE(d.sent().find(link::build_frame('W', Reply{}.long_payload())), std::string::npos);
}

TEST(SendHexField, PadsShortTextsAndCutsLongOnes) {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port{clock};
    Shared shared;
    main::PortOutput output{port};
    link::FrameWriter writer{output, shared};
    ASSERT_TRUE(port.open().ok);
    ASSERT_TRUE(writer.start('W'));
    for (const char* text : {"", "7", "7FF", "ABCD", "12345"}) {
        send_hex_field(writer, text);
    }
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(port.take_sent(), link::build_frame('W', "0000"
                                                       "0007"
                                                       "07FF"
                                                       "ABCD"
                                                       "1234"));
}

// The store and the reply have one layout: what is sent reads back field for field.
TEST(ParaFrame, SentFieldsReadBackAsTheSameSet) {
    const link::ParaSet s{0xDEADBEEF, 0x006D, 180, 5, 3, 99, 1, 2, 999, 5, 1, 3, 4, 200, 0x7FF};
    const link::ParaSet basic{s.serial_number, s.version, s.speed, s.resolution, s.switches};
    for (bool extended : {false, true}) {
        std::string payload;
        for (const auto& f : link::para_fields(s, extended)) {
            payload += f;
        }
        ASSERT_EQ(payload.size(), extended ? 80U : 24U);
        const auto r = link::decode_para_reply("W" + payload + "00");
        EXPECT_EQ(r.type, extended ? link::ScannerType::ya : link::ScannerType::za);
        EXPECT_EQ(r.short_fields, 5);
        EXPECT_TRUE(r.set == (extended ? s : basic));
    }
}

} // namespace
} // namespace trx::para::test
