// Reading the parameter set: the "W" reply filling the window, the scanner type with the
// extended group, the two flags, and the read button with its wait.
#include "para_fixture.hpp"
#include "platform/std_files.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/recorded_dialogs.hpp"
#include "testkit/virtual_clock.hpp"

#include <deque>
#include <filesystem>
#include <functional>

namespace trx::para::test {
namespace {

using testkit::Icon;

struct ParaReply : ParaTest {
    std::vector<std::string> extended_group() const {
        return {"para.frame_filter_parameter", "para.can_identifier",
                "para.can_identifier_text",    "para.can_baudrate",
                "para.can_baudrate_text",      "para.can_baudrate_einheit",
                "para.rs232_baudrate",         "para.rs232_baudrate_text",
                "para.rs232_baudrate_einheit", "main.display_filter_frame"};
    }
    void expect_extended_group(bool shown) {
        for (const auto& name : extended_group()) {
            EXPECT_EQ(d.visible(name), shown) << name;
        }
    }
    void expect_wrong_message() {
        const auto m = d.messages();
        ASSERT_EQ(m.size(), 1U);
        EXPECT_EQ(m[0].text, "Wrong parameter, please set !");
        EXPECT_EQ(m[0].title, "Parameter");
        EXPECT_EQ(m[0].icon, Icon::none);
        EXPECT_FALSE(shared().parameter_set_valid);
    }
};

TEST_F(ParaReply, ShortReplyIsTypeZaAndFillsTheBasicFields) {
    Reply r;
    r.serial = "  12AB34";
    r.speed = "0064";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.typ"), "ZA");
    EXPECT_EQ(d.text("para.seriennummer"), "1223476");
    EXPECT_EQ(d.text("para.version"), "1,09");
    EXPECT_EQ(d.text("para.speed_anz"), "10,0");
    EXPECT_EQ(d.value("para.speed"), 100);
    EXPECT_EQ(d.selected("para.auflösung"), 2);
    EXPECT_EQ(d.text("para.auflösung"), "    24576");
    EXPECT_TRUE(d.checked("para.enable_heater"));
    EXPECT_TRUE(d.checked("para.motor_enable"));
    expect_extended_group(false);
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(shared().parameter_set_valid);
    EXPECT_TRUE(shared().parameters_received);
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters received");
    EXPECT_FALSE(d.visible("para"));

    // Each switch bit alone; other bits are ignored. Speed 12,5 moves the spinner.
    r.switches = "FFFD";
    r.speed = "007d";
    d.receive(r.za());
    EXPECT_TRUE(d.checked("para.enable_heater"));
    EXPECT_FALSE(d.checked("para.motor_enable"));
    EXPECT_EQ(d.text("para.speed_anz"), "12,5");
    EXPECT_EQ(d.value("para.speed"), 125);
    r.switches = "0002";
    d.receive(r.za());
    EXPECT_FALSE(d.checked("para.enable_heater"));
    EXPECT_TRUE(d.checked("para.motor_enable"));
}

TEST_F(ParaReply, LongReplyIsTypeYaAndFillsTheExtendedGroup) {
    Reply r;
    d.receive(r.ya());
    EXPECT_EQ(d.text("para.typ"), "YA");
    expect_extended_group(true);
    EXPECT_EQ(d.text("para.gap_offset_abs_anz"), "5");
    EXPECT_EQ(d.value("para.gap_offset_abs"), 5);
    EXPECT_EQ(d.text("para.equal_tolerance_abs_anz"), "6");
    EXPECT_EQ(d.value("para.equal_tolerance_abs"), 6);
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "7");
    EXPECT_EQ(d.value("para.min_modul_angle"), 7);
    EXPECT_EQ(d.text("para.max_modul_angle_anz"), "291");
    EXPECT_EQ(d.value("para.max_modul_angle"), 291);
    EXPECT_EQ(d.selected("para.can_baudrate"), 2);
    EXPECT_EQ(d.selected("para.rs232_baudrate"), 4);
    EXPECT_EQ(d.text("para.equal_tolerance_rel_anz"), "8");
    EXPECT_EQ(d.value("para.equal_tolerance_rel"), 8);
    EXPECT_EQ(d.text("para.gap_offset_rel_anz"), "9");
    EXPECT_EQ(d.value("para.gap_offset_rel"), 9);
    EXPECT_EQ(d.text("para.gap_correction_anz"), "100");
    EXPECT_EQ(d.value("para.gap_correction"), 100);
    EXPECT_EQ(d.text("para.can_identifier"), "0x7FF");
    EXPECT_TRUE(d.messages().empty());
    EXPECT_TRUE(shared().parameter_set_valid);

    r.can_identifier = "001a";
    d.receive(r.ya());
    EXPECT_EQ(d.text("para.can_identifier"), "0x01A");

    // A "ZA" reply hides the group and leaves its fields as they were.
    d.receive(Reply{}.za());
    expect_extended_group(false);
    EXPECT_EQ(d.text("para.max_modul_angle_anz"), "291");
    EXPECT_EQ(d.text("para.can_identifier"), "0x01A");
    EXPECT_EQ(d.selected("para.rs232_baudrate"), 4);
    d.receive(r.ya());
    expect_extended_group(true);
}

TEST_F(ParaReply, FieldsOutOfRangeShowTheirErrorTextAndMakeTheReplyWrong) {
    Reply r;
    r.gap_correction = "0005";
    d.receive(r.ya());
    EXPECT_EQ(d.text("para.gap_correction_anz"), "0");
    EXPECT_EQ(d.value("para.gap_correction"), 10); // as it was
    EXPECT_EQ(d.text("para.typ"), "YA");
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters received");
    EXPECT_TRUE(shared().parameters_received);
    expect_wrong_message();

    // The other fields of a wrong reply are still shown.
    r = Reply{};
    r.speed = "00B5";
    r.max_modul_angle = "03E8";
    r.can_identifier = "0800";
    d.receive(r.ya());
    EXPECT_EQ(d.text("para.speed_anz"), "??.?");
    EXPECT_EQ(d.text("para.can_identifier"), "");
    EXPECT_EQ(d.text("para.gap_correction_anz"), "100");
    EXPECT_EQ(d.value("para.gap_correction"), 100);
    expect_wrong_message();

    r = Reply{};
    r.speed = "003C";
    r.resolution = "0006";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.speed_anz"), "6,0");
    EXPECT_EQ(d.value("para.speed"), 60);
    EXPECT_EQ(d.selected("para.auflösung"), 0);
    expect_wrong_message();

    // The next reply wholly in range makes the set valid again.
    d.receive(Reply{}.za());
    EXPECT_TRUE(shared().parameter_set_valid);
    EXPECT_TRUE(d.messages().empty());
}

// "?" reads as 0 under the change rule: a spinner that can take 0 follows and writes "0".
TEST_F(ParaReply, OutOfRangeTextsPassThroughTheChangeRule) {
    Reply r;
    r.min_modul_angle = "0100";
    d.receive(r.ya());
    EXPECT_EQ(d.value("para.min_modul_angle"), 0);
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "0");
    expect_wrong_message();
    d.receive(r.ya()); // the spinner already holds 0
    EXPECT_EQ(d.text("para.min_modul_angle_anz"), "?");
    EXPECT_EQ(d.value("para.min_modul_angle"), 0);
    expect_wrong_message();
}

// Leaving a box with a bad value brings back what the scanner sent last, never an error text.
TEST_F(ParaReply, AcceptedValuesBecomeRestoreValuesAndErrorTextsDoNot) {
    show_para();
    Reply r;
    r.gap_correction = "0032";
    r.speed = "0078";
    d.receive(r.ya());
    r.gap_correction = "00C9";
    r.speed = "00B5";
    d.receive(r.ya());
    expect_wrong_message();
    ASSERT_EQ(d.text("para.gap_correction_anz"), "0");
    ASSERT_EQ(d.text("para.speed_anz"), "??.?");
    d.leave("para.gap_correction_anz");
    d.leave("para.speed_anz");
    const auto m = d.messages();
    ASSERT_EQ(m.size(), 2U);
    EXPECT_EQ(m[0].text, "Possible values for gap correction: 10 - 200");
    EXPECT_EQ(m[1].text, "Possible values for speed: 6.0 - 18.0 turns/sec");
    EXPECT_EQ(d.text("para.gap_correction_anz"), "50");
    EXPECT_EQ(d.value("para.gap_correction"), 50);
    EXPECT_EQ(d.text("para.speed_anz"), "12,0");
    EXPECT_EQ(d.value("para.speed"), 120);
}

TEST_F(ParaReply, BaudCodeZeroSelectsNothingAndSixIsWrong) {
    Reply r;
    r.can_baud = "00";
    r.rs232_baud = "01";
    d.receive(r.ya());
    EXPECT_EQ(d.selected("para.can_baudrate"), -1);
    EXPECT_EQ(d.selected("para.rs232_baudrate"), 0);
    EXPECT_TRUE(d.messages().empty());
    r.can_baud = "06";
    r.rs232_baud = "00";
    d.receive(r.ya());
    EXPECT_EQ(d.selected("para.can_baudrate"), 0);
    EXPECT_EQ(d.selected("para.rs232_baudrate"), -1);
    expect_wrong_message();
}

TEST_F(ParaReply, ReplyOfUnexpectedLengthIsTypeUnknownAndWrong) {
    d.receive(Reply{}.ya());
    d.receive(link::build_frame('W', Reply{}.short_payload() + "ABC")); // 30 characters
    EXPECT_EQ(d.text("para.typ"), "??");
    expect_extended_group(false);
    EXPECT_EQ(d.text("para.speed_anz"), "12,5"); // read as a short set
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters received");
    EXPECT_TRUE(shared().parameters_received);
    expect_wrong_message();
}

// A short body is read only as far as its payload goes: a field is never made up from its
// checksum digits or from what an earlier frame left in the buffer.
TEST_F(ParaReply, FieldsPastTheEndOfAShortBodyKeepTheirContent) {
    Reply r;
    r.speed = "0064";
    d.receive(r.za());
    ASSERT_EQ(d.text("para.speed_anz"), "10,0");
    // Leave other digits behind in the receive buffer.
    d.receive(link::build_frame('Q', std::string(40, '9')));

    // Serial number and version whole; the speed field would reach into the checksum.
    d.receive(link::build_frame('W', "0000000A00C8"
                                     "00"));
    EXPECT_EQ(d.text("para.typ"), "??");
    EXPECT_EQ(d.text("para.seriennummer"), "10");
    EXPECT_EQ(d.text("para.version"), "2,00");
    EXPECT_EQ(d.text("para.speed_anz"), "10,0");
    EXPECT_EQ(d.value("para.speed"), 100);
    EXPECT_EQ(d.selected("para.auflösung"), 2);
    EXPECT_TRUE(d.checked("para.enable_heater"));
    expect_wrong_message();

    d.receive(link::build_frame('W', ""));
    EXPECT_EQ(d.text("para.seriennummer"), "10");
    expect_wrong_message();
}

TEST_F(ParaReply, SerialNumbersAreUnsignedAndShownInFull) {
    Reply r;
    r.serial = "FFFFFFFF";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.seriennummer"), "4294967295");
    r.serial = "075BCD15";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.seriennummer"), "123456789");
    r.serial = "80000000";
    d.receive(r.za());
    EXPECT_EQ(d.text("para.seriennummer"), "2147483648");
    EXPECT_TRUE(d.messages().empty());
}

TEST_F(ParaReply, ReadButtonAsksAndWaitsForTheReply) {
    show_para();
    shared().parameters_received = false;
    d.program().para_form().statusbar.set_simple_text("Status:   Index received  ");
    d.receive_later(300ms, Reply{}.za());
    const auto before = d.now();
    d.click("para.cmd_read_para");
    EXPECT_EQ(d.now() - before, 300ms); // back as soon as the reply was handled
    EXPECT_EQ(d.sent(), k_read_para);
    EXPECT_EQ(d.text("para.typ"), "ZA");
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters received");
    EXPECT_FALSE(shared().parameters_received);

    // The flag still set from an earlier reply ends the wait at once; the reply to this
    // request is handled when it comes.
    shared().parameters_received = true;
    const auto again = d.now();
    d.click("para.cmd_read_para");
    EXPECT_EQ(d.now(), again);
    EXPECT_EQ(d.sent(), k_read_para);
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
    EXPECT_FALSE(shared().parameters_received);
    d.receive(Reply{}.ya());
    EXPECT_EQ(d.text("para.typ"), "YA");
    EXPECT_TRUE(shared().parameters_received);
}

TEST_F(ParaReply, SecondClickDuringTheWaitAsksAgainWithoutASecondWait) {
    show_para();
    shared().parameters_received = false;
    auto& form = d.program().para_form();
    int clicks = 0;
    std::chrono::nanoseconds inner_wait{-1};
    // The user clicks again while the first click waits (at the next Timer1 tick).
    const auto c1 = d.program().main_form().Timer1.tick.connect([&] {
        if (clicks++ == 0) {
            const auto before = d.now();
            form.cmd_read_para.user_click();
            inner_wait = d.now() - before;
        }
    });
    keep_alive();
    d.receive_later(800ms, Reply{}.za());
    d.click("para.cmd_read_para");
    EXPECT_EQ(inner_wait, 0ms); // the second click returned at once
    EXPECT_EQ(d.sent(), k_read_para + k_read_para);
    EXPECT_EQ(d.text("para.typ"), "ZA");
    EXPECT_FALSE(shared().parameters_received);
}

TEST_F(ParaReply, ReadButtonWaitEndsWhenTheProgramShutsDown) {
    show_para();
    shared().parameters_received = false;
    d.receive_later(60s, Reply{}.za()); // far later than the shutdown
    const auto c2 = d.program().main_form().Timer1.tick.connect([&] { d.program().end(); });
    const auto before = d.now();
    d.click("para.cmd_read_para");
    EXPECT_LE(d.now() - before, 500ms);
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(shared().parameters_received);
}

TEST_F(ParaReply, ReadButtonWithThePortClosedSaysSoAndDoesNotWait) {
    show_para();
    close_port();
    const auto before = d.now();
    d.click("para.cmd_read_para");
    EXPECT_EQ(d.now(), before);
    const auto m = d.messages();
    ASSERT_EQ(m.size(), 1U);
    EXPECT_EQ(m[0].title, "Parameter");
    EXPECT_NE(m[0].text.find("not read"), std::string::npos);
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
}

// Posted work waits for the test to run it, as Qt's queue waits for the event loop.
class QueuedPump : public ui::EventPump {
public:
    bool pump_until(const std::function<bool()>& done) override {
        run_posted();
        return done();
    }
    void run_blocking(const std::function<void()>& work) override { work(); }
    void post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
    void quit() override {}
    void run_posted() {
        while (!posted_.empty()) {
            auto fn = std::move(posted_.front());
            posted_.pop_front();
            fn();
        }
    }

private:
    std::deque<std::function<void()>> posted_;
};

// A scanner that sends wrong replies in a burst gets one box at a time, not a queue of them.
TEST(WrongReplies, ABurstGetsOneBoxAtATime) {
    testkit::VirtualClock clock;
    testkit::FakeSerialPort port(clock);
    testkit::RecordedDialogs dialogs;
    QueuedPump pump;
    const auto folder = std::filesystem::temp_directory_path() / "trx81500-wrong-replies";
    platform::StdFiles files(folder, folder / "config", folder / "data");
    main::Program program({port, clock, dialogs, pump, files});
    program.start();
    ASSERT_TRUE(port.open().ok);
    Reply wrong;
    wrong.speed = "0000";
    std::string burst;
    for (int i = 0; i < 50; ++i) {
        burst += wrong.za();
    }
    port.inject(burst);
    EXPECT_TRUE(dialogs.take_messages().empty()); // shown once this receive event is over
    pump.run_posted();
    EXPECT_EQ(dialogs.take_messages().size(), 1U);
    // Once it was answered, the next wrong reply is told again.
    port.inject(wrong.za());
    pump.run_posted();
    EXPECT_EQ(dialogs.take_messages().size(), 1U);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace trx::para::test
