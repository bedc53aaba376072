// Storing the parameter set: the "W" command field by field, the "P" acknowledgement and the
// refusals that keep a wrong or lost store from passing as done.
#include "link/para_frame.hpp"
#include "para/send.hpp"
#include "para_fixture.hpp"
#include "testkit/fake_port.hpp"

namespace trx::para::test {
namespace {

struct ParaSend : ParaTest {
    // Online with the window shown and a reply in it: the send button can be clicked.
    void ready(const std::string& reply) {
        bring_online();
        show_para();
        d.receive(reply);
        ASSERT_TRUE(d.messages().empty());
        keep_alive();
    }
    std::string refusal() {
        const auto m = d.messages();
        EXPECT_EQ(m.size(), 1U);
        if (m.empty()) {
            return {};
        }
        EXPECT_EQ(m[0].title, "Parameter");
        return m[0].text;
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
    ready(Reply{}.ya());
    auto& box = d.program().para_form().can_identifier;
    for (auto [text, field] : {std::pair{"0x7FF", "07FF"}, std::pair{"0x01a", "001A"},
                               std::pair{"0x", "0000"}, std::pair{"", "0000"}}) {
        box.set_text(text);
        d.click("para.cmd_send_para");
        EXPECT_EQ(d.sent().substr(58, 4), field) << text;
    }
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
    bring_online();
    show_para();
    keep_alive();
    d.click("para.cmd_send_para");
    EXPECT_NE(refusal().find("No parameters have been read"), std::string::npos);
    EXPECT_EQ(d.sent(), "");

    d.receive(Reply{}.za());
    auto& serial = d.program().para_form().seriennummer;
    for (const char* text : {"", "12a", "-1", "1 2", "0x10"}) {
        serial.set_text(text);
        d.click("para.cmd_send_para");
        EXPECT_NE(refusal().find("Serial No."), std::string::npos) << text;
        EXPECT_EQ(d.sent(), "") << text;
    }
    serial.set_text("12345678");
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

// With "Motor off" checked the 1 ms timer keeps the line busy; a store still goes out whole.
TEST_F(ParaSend, StoreGetsThroughWhileControlFramesFlow) {
    ready(Reply{}.ya());
    d.program().main_form().motor_off.set_checked(true); // Ctrl+Alt+Q lands with main
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
    link::FrameWriter writer{port, shared};
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
    link::ParaSet s;
    s.serial_number = 0xDEADBEEF;
    s.version = 0x006D;
    s.speed = 180;
    s.resolution = 5;
    s.switches = 3;
    s.gap_offset_abs = 99;
    s.equal_tolerance_abs = 1;
    s.min_modul_angle = 2;
    s.max_modul_angle = 999;
    s.can_baud_code = 5;
    s.rs232_baud_code = 1;
    s.equal_tolerance_rel = 3;
    s.gap_offset_rel = 4;
    s.gap_correction = 200;
    s.can_identifier = 0x7FF;
    for (bool extended : {false, true}) {
        std::string payload;
        for (const auto& f : link::para_fields(s, extended)) {
            EXPECT_EQ(f.size(), 4U);
            payload += f;
        }
        const std::string frame = link::build_frame('W', payload);
        const auto r = link::decode_para_reply(std::string_view(frame).substr(1, frame.size() - 2));
        EXPECT_EQ(r.type, extended ? link::ScannerType::ya : link::ScannerType::za);
        EXPECT_EQ(r.short_fields, 5);
        EXPECT_EQ(r.set.serial_number, s.serial_number);
        EXPECT_EQ(r.set.version, s.version);
        EXPECT_EQ(r.set.speed, s.speed);
        EXPECT_EQ(r.set.resolution, s.resolution);
        EXPECT_EQ(r.set.switches, s.switches);
        if (extended) {
            EXPECT_EQ(r.set.gap_offset_abs, s.gap_offset_abs);
            EXPECT_EQ(r.set.equal_tolerance_abs, s.equal_tolerance_abs);
            EXPECT_EQ(r.set.min_modul_angle, s.min_modul_angle);
            EXPECT_EQ(r.set.max_modul_angle, s.max_modul_angle);
            EXPECT_EQ(r.set.can_baud_code, s.can_baud_code);
            EXPECT_EQ(r.set.rs232_baud_code, s.rs232_baud_code);
            EXPECT_EQ(r.set.equal_tolerance_rel, s.equal_tolerance_rel);
            EXPECT_EQ(r.set.gap_offset_rel, s.gap_offset_rel);
            EXPECT_EQ(r.set.gap_correction, s.gap_correction);
            EXPECT_EQ(r.set.can_identifier, s.can_identifier);
        }
    }
}

} // namespace
} // namespace trx::para::test
