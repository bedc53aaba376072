// Link supervision and polling: Timer1 (link state), Timer2 (delayed "R"), Timer3 ("C" frames
// and the status check boxes), driven in virtual time.
#include "link/frame.hpp"
#include "monitor/supervision.hpp"
#include "testkit/driver.hpp"
#include "testkit/recorded_log.hpp"
#include "testkit/status_frames.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace trx::monitor {
namespace {

using namespace std::chrono_literals;
using testkit::Driver;

const std::string k_read_index = "\x02L4C\x03";
const std::string k_read_para = "\x02R52\x03";
const std::string k_motor_off = "\x02\x43\x30\x31\x41\x34\x03";
const std::string k_laser_on = "\x02\x43\x30\x32\x41\x35\x03";
const std::string k_both = "\x02\x43\x30\x33\x41\x36\x03";

// A good frame the dispatch ignores: it only marks the link online.
const std::string k_alive = link::build_frame('Q', "");

int count_of(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (auto p = haystack.find(needle); p != std::string::npos;
         p = haystack.find(needle, p + needle.size())) {
        ++n;
    }
    return n;
}

struct Supervision : ::testing::Test {
    Driver d;

    void SetUp() override { d.start(); }
    void open_port() {
        d.click("main.Toolbar1.comport");
        ASSERT_TRUE(d.port_open());
    }
    void close_port() {
        d.click("main.Toolbar1.comport");
        ASSERT_FALSE(d.port_open());
    }
    // "Motor off" and "Laser on" sit in the "Comand" frame that Ctrl+Alt+Q shows.
    void set_box(std::string_view box, bool checked) {
        d.key("main", testkit::ctrl | testkit::alt, 'Q');
        if (d.checked(box) != checked) {
            d.click(box);
        }
        ASSERT_EQ(d.checked(box), checked);
    }
    std::string link_panel() const { return d.panel("main.StatusBar1", 1); }
    bool parameter_functions() const {
        const bool toolbar = d.enabled("main.Toolbar1.parameter");
        EXPECT_EQ(d.enabled("para.cmd_read_para"), toolbar);
        EXPECT_EQ(d.enabled("para.cmd_send_para"), toolbar);
        return toolbar;
    }
    // Up to the first Timer1 tick (500 ms), then good frames until the link shows online.
    void bring_online() {
        open_port();
        d.advance(500ms);
        d.receive(k_alive);
        d.advance(500ms);
        ASSERT_EQ(link_panel(), "online");
    }
};

TEST_F(Supervision, OfflineFromTheFirstTickWithThePortClosed) {
    EXPECT_EQ(link_panel(), "");
    d.advance(499ms);
    EXPECT_EQ(link_panel(), "");
    d.advance(1ms);
    EXPECT_EQ(link_panel(), "offline");
    EXPECT_FALSE(parameter_functions());
    EXPECT_TRUE(d.exists("para"));
    EXPECT_FALSE(d.visible("para"));
    d.advance(5s);
    EXPECT_EQ(link_panel(), "offline");
    EXPECT_FALSE(parameter_functions());
    EXPECT_EQ(d.sent(), "");
}

TEST_F(Supervision, ComingUpSendsLAtOnceAndR500msLaterThenBlinks) {
    open_port();
    d.advance(500ms);
    ASSERT_EQ(link_panel(), "offline");
    d.advance(100ms);
    d.receive(k_alive);
    EXPECT_EQ(d.timer_tag("main.Timer1"), "online");
    EXPECT_EQ(link_panel(), "offline"); // shown only at the next tick
    EXPECT_EQ(d.sent(), "");

    d.advance(400ms); // t = 1000 ms: the tick after the first good frame
    EXPECT_EQ(link_panel(), "online");
    EXPECT_TRUE(parameter_functions());
    EXPECT_EQ(d.sent(), k_read_index);
    EXPECT_EQ(d.text("para.statusbar"), "Status:");
    EXPECT_TRUE(d.timer_enabled("main.Timer2"));
    EXPECT_EQ(d.timer_tag("main.Timer1"), "offline");

    d.receive(k_alive);
    d.advance(499ms);
    EXPECT_EQ(d.sent(), "");
    d.advance(1ms); // t = 1500 ms: Timer2's one shot, and Timer1 blinks
    EXPECT_EQ(d.sent(), k_read_para);
    EXPECT_FALSE(d.timer_enabled("main.Timer2"));
    EXPECT_EQ(link_panel(), "");
    EXPECT_TRUE(parameter_functions());

    for (const char* expected : {"online", "", "online", ""}) {
        d.receive(k_alive);
        d.advance(500ms);
        EXPECT_EQ(link_panel(), expected);
        EXPECT_TRUE(parameter_functions());
    }
    EXPECT_EQ(d.sent(), ""); // no further requests while the link stays up
}

TEST_F(Supervision, EveryReconnectionAsksAgain) {
    bring_online();
    d.advance(500ms); // Timer2's "R"; and no frame in this interval
    EXPECT_EQ(link_panel(), "offline");
    EXPECT_FALSE(parameter_functions());
    (void)d.sent();
    d.receive(k_alive);
    d.advance(500ms);
    EXPECT_EQ(link_panel(), "online");
    EXPECT_EQ(d.sent(), k_read_index);
    d.advance(500ms);
    EXPECT_EQ(d.sent(), k_read_para);
}

TEST_F(Supervision, UpBeforePanelEverShowedOfflineSendsNoRequests) {
    open_port();
    d.receive(k_alive);
    d.advance(500ms);
    EXPECT_EQ(link_panel(), "online");
    EXPECT_TRUE(parameter_functions());
    d.advance(1s);
    EXPECT_EQ(d.sent(), "");
}

TEST_F(Supervision, FramesWithBadChecksumsDoNotKeepTheLinkUp) {
    bring_online();
    std::string bad = k_alive;
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    d.receive(bad);
    d.advance(250ms);
    d.receive(bad);
    d.advance(250ms);
    EXPECT_EQ(link_panel(), "offline");
    EXPECT_FALSE(parameter_functions());
}

TEST_F(Supervision, EveryOfflineTickResetsTheParameterStatusText) {
    auto& status = d.program().para_form().statusbar;
    for (int i = 0; i < 3; ++i) {
        status.set_simple_text("Status:   Parameters received");
        d.advance(500ms);
        EXPECT_EQ(d.text("para.statusbar"), "Status:");
    }
    bring_online();
    status.set_simple_text("Status:   Parameters received");
    d.receive(k_alive);
    d.advance(500ms);
    EXPECT_EQ(d.text("para.statusbar"), "Status:   Parameters received");
}

TEST_F(Supervision, ControlFramesForEachFlagCombination) {
    open_port();
    d.advance(20ms);
    EXPECT_EQ(d.sent(), ""); // both boxes clear: no "C" at all

    struct Case {
        bool motor_off;
        bool laser_on;
        const std::string& frame;
    };
    for (const Case& c : {Case{true, false, k_motor_off}, Case{false, true, k_laser_on},
                          Case{true, true, k_both}}) {
        set_box("main.motor_off", c.motor_off);
        set_box("main.laser_on", c.laser_on);
        d.advance(100ms);
        const std::string out = d.sent();
        ASSERT_FALSE(out.empty());
        ASSERT_EQ(out.size() % c.frame.size(), 0U);
        EXPECT_EQ(count_of(out, c.frame) * c.frame.size(), out.size()) << "only whole frames";
    }
    set_box("main.motor_off", false);
    set_box("main.laser_on", false);
    d.advance(100ms);
    EXPECT_EQ(d.sent(), "");
}

TEST_F(Supervision, ControlFramesOnlyWhileThePortIsOpenAndAtOnceWhenItOpens) {
    set_box("main.motor_off", true);
    d.advance(1s);
    EXPECT_EQ(d.sent(), "");
    open_port();
    d.advance(1ms);
    EXPECT_EQ(d.sent(), k_motor_off);
    close_port();
    d.advance(100ms);
    EXPECT_EQ(d.sent(), "");
}

TEST_F(Supervision, StatusBoxesFollowTheStatusWordAlsoWithThePortClosed) {
    // The status word is stored by the status frame decoder; set it as that decoder would,
    // and tell the supervision as the live monitor does.
    auto& shared = d.program().shared();
    auto store = [&](std::int16_t word) {
        shared.status_word = word;
        d.program().supervision().status_word_stored();
    };
    struct Case {
        std::int16_t word;
        bool speed_ok, temp_low, heater_activ;
    };
    for (const Case& c :
         {Case{1, true, false, false}, Case{2, false, true, false}, Case{4, false, false, true},
          Case{-1, true, true, true}, Case{0x7FF8, false, false, false}}) {
        store(c.word);
        d.advance(1ms);
        EXPECT_EQ(d.checked("main.speed_ok"), c.speed_ok) << c.word;
        EXPECT_EQ(d.checked("main.temp_low"), c.temp_low) << c.word;
        EXPECT_EQ(d.checked("main.heater_activ"), c.heater_activ) << c.word;
    }
    // A click flips a box for less than one tick.
    store(0);
    d.advance(1ms);
    d.click("main.speed_ok");
    EXPECT_TRUE(d.checked("main.speed_ok"));
    d.advance(1ms);
    EXPECT_FALSE(d.checked("main.speed_ok"));
}

// Timer3 stays enabled as the window has it, but rests while a tick would change nothing:
// the program sleeps with no flag set and no new status word, and still answers within a tick.
TEST_F(Supervision, TimerThreeRestsWhileATickWouldChangeNothingAndWakesWithinATick) {
    int ticks = 0;
    ui::Connections c;
    c += d.program().main_form().Timer3.tick.connect([&] { ++ticks; });
    d.advance(10s);
    EXPECT_LE(ticks, 1) << "idle with no port open";
    EXPECT_TRUE(d.timer_enabled("main.Timer3"));
    EXPECT_EQ(d.program().main_form().Timer3.interval(), 1);

    bring_online();
    d.receive(testkit::parameter_reply(false));
    (void)d.messages();
    ticks = 0;
    for (int i = 0; i < 20; ++i) {
        testkit::StatusShape s;
        s.status_word = i % 2 == 0 ? 1 : 4; // speed OK, then heater
        d.receive(testkit::status_frame(s));
        d.advance(1ms);
        EXPECT_EQ(d.checked("main.speed_ok"), i % 2 == 0) << "within a tick of frame " << i;
        EXPECT_EQ(d.checked("main.heater_activ"), i % 2 != 0) << "frame " << i;
        d.advance(99ms);
    }
    EXPECT_LE(ticks, 20) << "one tick per status word, not one per millisecond";

    // A flag keeps it ticking: one "C" frame per tick, as before.
    (void)d.sent();
    set_box("main.laser_on", true);
    ticks = 0;
    d.advance(50ms);
    EXPECT_EQ(ticks, 50);
    EXPECT_FALSE(d.sent().empty());
    set_box("main.laser_on", false);
    d.advance(50ms);
    ticks = 0;
    (void)d.sent();
    d.advance(1s);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(d.sent(), "");

    // A click on a status box still has no lasting effect.
    d.click("main.heater_activ");
    EXPECT_FALSE(d.checked("main.heater_activ"));
    d.advance(1ms);
    EXPECT_TRUE(d.checked("main.heater_activ"));
}

// At 57600 baud a 7-byte frame takes 1.2 ms, so a 1 ms Timer3 asks for more than the line
// carries. The transmit buffer must still have room for the longest command (the extended
// "W", 85 bytes) at every moment, and a read request must go out within one buffer's time.
TEST_F(Supervision, ControlFramesEveryMillisecondLeaveRoomForCommands) {
    constexpr std::size_t k_buffer = ui::SerialPort::k_transmit_buffer;
    constexpr std::size_t k_longest_command = 85;
    bring_online();
    d.receive(k_alive);
    d.advance(500ms); // past Timer2's "R"
    (void)d.sent();
    d.click("main.Toolbar1.parameter");
    set_box("main.motor_off", true);
    std::size_t most = 0;
    for (int ms = 1; ms <= 1000; ++ms) {
        d.advance(1ms);
        most = std::max(most, d.pending_output());
        if (ms % 250 == 0) {
            d.receive(k_alive);
        }
    }
    EXPECT_LE(most, k_buffer);
    EXPECT_LE(most + k_longest_command, k_buffer);
    // The line is kept busy: it carries 5760 / 7 = 822 frames a second.
    const std::string out = d.sent();
    EXPECT_GE(count_of(out, k_motor_off), 700);
    EXPECT_EQ(count_of(out, k_motor_off) * k_motor_off.size(), out.size());

    // The read button at several moments between ticks' frames.
    const std::string reply = link::build_frame('W', std::string(24, '0'));
    for (int step = 0; step < 8; ++step) {
        d.advance(std::chrono::milliseconds(1 + step % 3));
        d.receive(k_alive);
        d.program().shared().parameters_received = false;
        const std::size_t ahead = d.pending_output();
        (void)d.sent();
        d.receive_later(20ms, reply);
        d.click("para.cmd_read_para");
        const std::string after = d.sent();
        ASSERT_EQ(after.substr(0, k_read_para.size()), k_read_para) << "step " << step;
        // Everything ahead of it and the frame itself leave within one buffer's time.
        EXPECT_LE(ahead + k_read_para.size(), k_buffer);
        EXPECT_LE(d.pending_output(), k_buffer);
        (void)d.messages(); // the reply's zero speed is out of range
    }
}

// The log hears each change of the link once, never every tick.
TEST_F(Supervision, TheLogHearsTheLinkComeUpAndGoDownOnceEach) {
    const auto link_lines = [&] {
        std::vector<testkit::RecordedLog::Line> out;
        for (const auto& l : d.log().lines()) {
            if (l.category == "trx.monitor") {
                out.push_back(l);
            }
        }
        return out;
    };
    d.advance(3s); // offline from the start: nothing went down
    EXPECT_TRUE(link_lines().empty());

    bring_online();
    for (int i = 0; i < 4; ++i) {
        d.receive(k_alive);
        d.advance(500ms);
    }
    auto lines = link_lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].level, LogLevel::info);
    EXPECT_EQ(lines[0].text, "link up on COM1");

    d.advance(5s); // silent scanner
    lines = link_lines();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[1].level, LogLevel::warning);
    EXPECT_EQ(lines[1].text, "link down on COM1: no good frame within 500 ms");

    d.receive(k_alive); // the scanner is back
    d.advance(500ms);
    close_port();
    d.advance(1s);
    lines = link_lines();
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[2].text, "link up on COM1");
    EXPECT_EQ(lines[3].text, "link down on COM1: no good frame within 500 ms, port closed");
}

} // namespace
} // namespace trx::monitor
