// The test kit itself: virtual time, the fake line and the Driver's naming.
#include "main/program.hpp"
#include "testkit/driver.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/virtual_clock.hpp"

#include <gtest/gtest.h>

namespace trx::testkit {
namespace {

using namespace std::chrono_literals;

TEST(VirtualClock, FiresDueTimersAndEventsInTimeOrder) {
    VirtualClock clock;
    ui::Window w("w", "W");
    ui::Timer fast(w, "fast", 3, true);
    ui::Timer slow(w, "slow", 5, true);
    std::string order;
    const auto c1 = fast.tick.connect([&] { order += 'f'; });
    const auto c2 = slow.tick.connect([&] { order += 's'; });
    clock.attach(fast);
    clock.attach(slow);
    clock.schedule(4ms, [&] { order += 'e'; });
    clock.advance(10ms);
    EXPECT_EQ(order, "fesffs"); // 3 4 5 6 9 10
    EXPECT_EQ(clock.now(), 10ms);
}

TEST(VirtualClock, EnablingRestartsTheIntervalAndATimerCanStopItself) {
    VirtualClock clock;
    ui::Window w("w", "W");
    ui::Timer once(w, "once", 500, false);
    int ticks = 0;
    const auto c3 = once.tick.connect([&] {
        once.set_timer_enabled(false);
        ++ticks;
    });
    clock.attach(once);
    clock.advance(300ms);
    once.set_timer_enabled(true);
    clock.advance(499ms);
    EXPECT_EQ(ticks, 0);
    clock.advance(1ms);
    EXPECT_EQ(ticks, 1);
    clock.advance(2000ms);
    EXPECT_EQ(ticks, 1);
}

TEST(FakeSerialPort, DrainsAtLineRateAndRefusesWhatDoesNotFit) {
    VirtualClock clock;
    FakeSerialPort port(clock);
    EXPECT_FALSE(port.write("x")); // closed
    ASSERT_TRUE(port.open().ok);
    EXPECT_TRUE(port.write(std::string(510, 'a')));
    EXPECT_FALSE(port.write("abc")); // 513 would not fit: nothing written
    EXPECT_EQ(port.take_sent().size(), 510U);
    clock.advance(100ms); // 576 bytes' time
    EXPECT_EQ(port.pending_output(), 0U);
    EXPECT_TRUE(port.write(std::string(512, 'b')));
    clock.advance(1s);
    EXPECT_EQ(port.pending_output(), 0U);
}

TEST(FakeSerialPort, BytesArriveOnlyWhileOpen) {
    VirtualClock clock;
    FakeSerialPort port(clock);
    std::string got;
    const auto on_bytes = port.received.connect([&](std::string_view b) { got += b; });
    port.inject("lost");
    ASSERT_TRUE(port.open().ok);
    port.inject("kept");
    EXPECT_EQ(got, "kept");
}

TEST(Driver, UnknownNamesThrowWithTheName) {
    Driver d;
    d.start();
    try {
        (void)d.text("para.no_such_box");
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_NE(std::string(e.what()).find("para.no_such_box"), std::string::npos);
    }
    EXPECT_THROW((void)d.text("nowindow.x"), std::out_of_range);
    EXPECT_THROW(d.click("main.Toolbar1.nokey"), std::out_of_range);
    EXPECT_THROW(d.choose("main.Toolbar1.comport.com11"), std::out_of_range);
}

TEST(Driver, ReadsTheControlsOfEveryWindowByName) {
    Driver d;
    d.start();
    EXPECT_EQ(d.text("main"), "TRX 81500-A V1.09");
    EXPECT_EQ(d.text("para"), "TRX 81500-A V1.09  -   Parameter");
    EXPECT_EQ(d.text("sw_update"), "TRX 81500-A V1.09   -   Softwareupdate");
    EXPECT_EQ(d.text("main.Toolbar1.comport"), "Open COM1    ");
    EXPECT_EQ(d.text("main.Toolbar1.comport.com10"), "COM10");
    EXPECT_EQ(d.value("para.speed"), 100);
    EXPECT_EQ(d.selected("para.auflösung"), -1);
    EXPECT_EQ(d.text("para.auflösung"), "      8192");
    EXPECT_EQ(d.timer_tag("main.Timer1"), "offline");
    EXPECT_TRUE(d.timer_enabled("main.Timer3"));
    EXPECT_FALSE(d.timer_enabled("main.Timer2"));
    EXPECT_TRUE(d.visible("main"));
    EXPECT_FALSE(d.visible("main.data2"));
}

TEST(Driver, AWaitNoReplyCanEndStopsTheTestInsteadOfHanging) {
    Driver d;
    d.start();
    auto& pump = d.program().services().pump;
    EXPECT_THROW(pump.pump_until([] { return false; }), std::runtime_error);
    d.receive_later(20ms, "");
    EXPECT_TRUE(pump.pump_until([&] { return d.now() >= 20ms; }));
}

} // namespace
} // namespace trx::testkit
