// Device identity: the serial number's length rule, the index read and written with "L" and
// "I", and the Close button.
#include "para_fixture.hpp"

namespace trx::para::test {
namespace {

struct Identity : ParaTest {
    ParaForm& form() { return d.program().para_form(); }
    // The service chord Ctrl+Alt+J lands with the window's field rules; until then the two
    // boxes and the index buttons are opened up on their models, as the chord does.
    void service_mode() {
        form().seriennummer.set_locked(false);
        form().index.set_locked(false);
        for (ui::Button* b : {&form().command_read_index, &form().command_write_index}) {
            b->set_enabled(true);
            b->set_visible(true);
        }
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

TEST_F(Identity, TypedOrPastedSerialNumbersKeepTheirLastEightCharacters) {
    show_para();
    service_mode();
    d.paste("para.seriennummer", "123456789012");
    EXPECT_EQ(d.text("para.seriennummer"), "56789012");
    d.type("para.seriennummer", "3");
    EXPECT_EQ(d.text("para.seriennummer"), "67890123");
    d.type("para.seriennummer", "\b\b");
    EXPECT_EQ(d.text("para.seriennummer"), "678901");
}

// Cutting a received number would make the next store write one nobody entered.
TEST_F(Identity, ReceivedSerialNumberStaysWholeUntilItIsEdited) {
    Reply r;
    r.serial = "499602D2";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.seriennummer"), "1234567890");
    show_para();
    service_mode();
    d.focus("para.seriennummer");
    d.leave("para.seriennummer");
    EXPECT_EQ(d.text("para.seriennummer"), "1234567890");
    d.type("para.seriennummer", "1");
    EXPECT_EQ(d.text("para.seriennummer"), "45678901");
}

TEST_F(Identity, IndexReplyIsUnsignedAndHandledWhileTheWindowIsHidden) {
    for (auto [digits, shown] : {std::pair{"0000", "0"}, std::pair{"FFFF", "65535"},
                                 std::pair{"8000", "32768"}, std::pair{"012c", "300"}}) {
        d.receive(link::build_frame('L', digits));
        EXPECT_EQ(d.text("para.index"), shown) << digits;
        EXPECT_EQ(d.text("para.statusbar"), "Status:   Index received  ");
    }
    d.receive(link::build_frame('I', ""));
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Index saved     ");
    EXPECT_FALSE(d.visible("para"));

    // Too short to hold an index: never made up from checksum digits or old bytes.
    d.receive(link::build_frame('L', "12"));
    EXPECT_EQ(d.text("para.index"), "300");
}

TEST_F(Identity, LinkComingUpFillsTheIndexOfTheHiddenWindow) {
    d.advance(500ms);
    keep_alive();
    d.advance(500ms);
    ASSERT_EQ(d.sent(), k_read_index);
    d.receive(link::build_frame('L', "04D2"));
    EXPECT_FALSE(d.visible("para"));
    EXPECT_EQ(d.text("para.index"), "1234");
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Index received  ");
}

TEST_F(Identity, WriteSendsFourUpperCaseDigitsWithTheirChecksum) {
    show_para();
    service_mode();
    for (auto [index, frame] :
         {std::pair{"300", "\x02I012C1F\x03"}, std::pair{"0", "\x02I000009\x03"},
          std::pair{"65535", "\x02IFFFF61\x03"}, std::pair{"00042", "\x02I002A1C\x03"}}) {
        form().index.set_text(index);
        form().statusbar.set_simple_text("Status:   Index received  ");
        d.click("para.command_write_index");
        EXPECT_EQ(d.sent(), frame) << index;
        EXPECT_EQ(d.text("para.statusbar"), "Status:");
    }
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(Identity, WriteRefusesBadIndexTextsAndAClosedPort) {
    show_para();
    service_mode();
    for (const char* text : {"", "12a", "65536", "-1", " 1", "99999999999999999999999"}) {
        form().index.set_text(text);
        d.click("para.command_write_index");
        EXPECT_NE(refusal().find("Index must be a whole number from 0 to 65535"), std::string::npos)
            << text;
        EXPECT_EQ(d.sent(), "") << text;
    }
    form().index.set_text("7");
    d.program().services().port.close();
    d.click("para.command_write_index");
    EXPECT_NE(refusal().find("not open"), std::string::npos);
    EXPECT_EQ(d.sent(), "");
}

TEST_F(Identity, ReadAsksForTheIndexAndIsSilentWithThePortClosed) {
    show_para();
    service_mode();
    form().statusbar.set_simple_text("Status:   Index saved     ");
    d.click("para.command_read_index");
    EXPECT_EQ(d.sent(), k_read_index);
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
    d.program().services().port.close();
    form().statusbar.set_simple_text("Status:   Index saved     ");
    d.click("para.command_read_index");
    EXPECT_EQ(d.sent(), "");
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(Identity, CloseLocksTheSerialNumberButLeavesTheIndexEditable) {
    show_para();
    service_mode();
    d.click("para.beenden");
    EXPECT_FALSE(d.visible("para"));
    EXPECT_TRUE(d.exists("para"));
    EXPECT_TRUE(d.locked("para.seriennummer"));
    show_para();
    EXPECT_FALSE(d.locked("para.index"));
    EXPECT_TRUE(d.visible("para.command_write_index"));
    EXPECT_TRUE(d.enabled("para.command_read_index"));
    d.type("para.index", "5");
    EXPECT_EQ(d.text("para.index"), "5");
    d.type("para.seriennummer", "5");
    EXPECT_EQ(d.text("para.seriennummer"), "");
}

} // namespace
} // namespace trx::para::test
