// The control models behave like the controls the logic was written for.
#include "ui/controls.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace trx::ui {
namespace {

struct Counter {
    int n = 0;
    void operator()() { ++n; }
};

TEST(TextBoxModel, ChangeOnlyWhenTheTextReallyChanges) {
    Window w("w", "W");
    TextBox box(w, "box");
    int changes = 0;
    const auto c1 = box.change.connect([&] { ++changes; });
    box.set_text("12");
    box.set_text("12");
    box.set_text("");
    EXPECT_EQ(changes, 2);
}

// A text box and its spinner calling each other's setters come to rest after one pass.
TEST(TextBoxModel, TextAndSpinnerHandlersComeToRest) {
    Window w("w", "W");
    TextBox box(w, "box");
    Spinner spin(w, "spin", 0, 99, 3);
    int passes = 0;
    const auto c2 = box.change.connect([&] {
        ++passes;
        const int v = box.text().empty() ? 0 : std::stoi(box.text());
        if (v >= 0 && v <= 99) {
            spin.set_value(v);
        }
    });
    const auto c3 = spin.change.connect([&] { box.set_text(std::to_string(spin.value())); });
    box.set_text("07");
    EXPECT_EQ(spin.value(), 7);
    EXPECT_EQ(box.text(), "7");
    EXPECT_EQ(passes, 2);
}

TEST(TextBoxModel, UnreachableOrLockedBoxesIgnoreTheUser) {
    Window w("w", "W");
    Frame frame(w, "frame", "F");
    TextBox box(w, "box", &frame);
    w.show();
    KeyPress k{'5', mod_none, false};
    box.set_locked(true);
    box.user_key(k);
    EXPECT_EQ(box.text(), "");
    box.set_locked(false);
    frame.set_visible(false);
    box.user_key(k);
    EXPECT_EQ(box.text(), "");
    frame.set_visible(true);
    box.user_key(k);
    EXPECT_EQ(box.text(), "5");
    w.hide();
    box.user_key(k);
    EXPECT_EQ(box.text(), "5");
}

TEST(TextBoxModel, HandledKeysDoNotEditAndUnhandledOnesEditAtTheEnd) {
    Window w("w", "W");
    TextBox box(w, "box");
    w.show();
    const auto c4 = box.key.connect([](KeyPress& k) { k.handled = k.code == 'x'; });
    for (int c : {int{'1'}, int{'x'}, int{'2'}, keys::backspace, int{'3'}}) {
        KeyPress k{c, mod_none, false};
        box.user_key(k);
    }
    EXPECT_EQ(box.text(), "13");
    EXPECT_EQ(box.caret(), 2U);
}

TEST(SpinnerModel, ArrowsStopAtTheLimitsButStillReportTheClick) {
    Window w("w", "W");
    w.show();
    Spinner s(w, "s", 60, 180, 179);
    int changes = 0;
    int ups = 0;
    const auto c5 = s.change.connect([&] { ++changes; });
    const auto c6 = s.up_click.connect([&] { ++ups; });
    s.user_up();
    s.user_up();
    EXPECT_EQ(s.value(), 180);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ups, 2);
    EXPECT_THROW(s.set_value(181), std::out_of_range);
}

TEST(GridModel, DrawingOffTellsTheViewOnceWhenSwitchedOn) {
    Window w("w", "W");
    Grid g(w, "g", 1001, 6, 30);
    Counter views;
    const auto c7 = g.changed.connect([&] { views(); });
    g.set_drawing(false);
    g.clear();
    for (int r = 1; r < 1001; ++r) {
        g.set_cell(r, 1, std::to_string(r));
    }
    EXPECT_EQ(views.n, 0);
    g.set_drawing(true);
    EXPECT_EQ(views.n, 1);
    EXPECT_EQ(g.cell(1000, 1), "1000");
    g.clear();
    EXPECT_EQ(g.cell(1000, 1), "");
    EXPECT_EQ(g.used_rows(), 0);
    EXPECT_THROW((void)g.cell(1001, 0), std::out_of_range);
}

TEST(GridModel, CurrentCellWritesAndScrollIsClamped) {
    Window w("w", "W");
    Grid g(w, "g", 1001, 4, 30);
    int scrolls = 0;
    const auto c8 = g.scrolled.connect([&] { ++scrolls; });
    g.set_current(5, 0);
    g.set_current_text("5");
    EXPECT_EQ(g.cell(5, 0), "5");
    g.user_scroll(2000);
    EXPECT_EQ(g.top_row(), 971);
    g.user_scroll(971);
    EXPECT_EQ(scrolls, 1);
}

TEST(WindowModel, ExistsOnceCreatedAndCloseBoxHidesWithoutAHandler) {
    Window w("w", "W");
    EXPECT_FALSE(w.exists());
    w.create();
    EXPECT_TRUE(w.exists());
    EXPECT_FALSE(w.shown());
    w.show();
    w.user_close();
    EXPECT_FALSE(w.shown());
    EXPECT_TRUE(w.exists());
}

TEST(WindowModel, BlockedWindowTakesNoInput) {
    Window w("w", "W");
    Button b(w, "b", "B");
    w.show();
    int clicks = 0;
    const auto c9 = b.click.connect([&] { ++clicks; });
    w.set_input_blocked(true);
    b.user_click();
    w.set_input_blocked(false);
    b.user_click();
    EXPECT_EQ(clicks, 1);
}

TEST(ToolbarModel, DisabledButtonsAndEntriesIgnoreTheUser) {
    Window w("w", "W");
    Toolbar tb(w, "tb", {{"a", "A ", true, 0, {{"x", "X", true, {}}}}, {"b", "B", false, 0, {}}});
    w.show();
    std::vector<std::string> seen;
    const auto c10 = tb.button_click.connect([&](const std::string& k) { seen.push_back(k); });
    const auto c11 = tb.chosen.connect(
        [&](const std::string& k, const std::string& e) { seen.push_back(k + e); });
    tb.user_click("b");
    tb.user_choose("a", "x");
    tb.set_entry_enabled("a", "x", false);
    tb.user_choose("a", "x");
    tb.user_click("a");
    EXPECT_EQ(seen, (std::vector<std::string>{"ax", "a"}));
    EXPECT_THROW((void)tb.item("zz"), std::out_of_range);
}

// A panel's click opens its menu only where a person could click: not in simple mode, not
// while the window takes no input; a disabled entry is never chosen.
TEST(StatusBarModel, PanelClicksAndMenuChoicesOnlyWhereReachable) {
    using Kind = StatusBar::PanelKind;
    Window w("w", "W");
    StatusBar bar(w, "bar", {Kind::text, Kind::text});
    bar.set_panel_menu(2, "m", {{"x", "X", true, false}, {"y", "Y", false, true}});
    w.show();
    std::vector<std::string> seen;
    const auto c1 =
        bar.panel_click.connect([&](std::size_t i) { seen.push_back(std::to_string(i)); });
    const auto c2 = bar.menu_opening.connect([&](const std::string& m) { seen.push_back(m); });
    const auto c3 = bar.chosen.connect(
        [&](const std::string& m, const std::string& e) { seen.push_back(m + "." + e); });
    bar.user_click_panel(1);
    bar.user_click_panel(2);
    bar.user_choose("m", "x");
    bar.user_choose("m", "y");
    bar.set_simple(true);
    bar.user_click_panel(2);
    bar.user_choose("m", "x");
    bar.set_simple(false);
    w.set_input_blocked(true);
    bar.user_click_panel(2);
    bar.user_choose("m", "x");
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "m", "m.x"}));
    EXPECT_EQ(bar.panel_menu(1), "");
    EXPECT_EQ(bar.panel_menu(2), "m");
    EXPECT_THROW((void)bar.menu_entry("m", "z"), std::out_of_range);
    EXPECT_THROW((void)bar.menu_entries(""), std::out_of_range);
    EXPECT_THROW(bar.set_panel_tooltip(3, "t"), std::out_of_range);
}

} // namespace
} // namespace trx::ui

namespace trx::ui {
namespace {

TEST(Signal, AHandlerMayConnectAndDisconnectWhileTheSignalRuns) {
    Signal<> s;
    std::string order;
    Connection later;
    Connection second;
    // Enough new handlers to move the list's storage while it is being walked.
    std::vector<Connection> many;
    const auto first = s.connect([&] {
        order += 'a';
        second.disconnect(); // not run again, not even in this raise
        for (int i = 0; i < 64; ++i) {
            many.push_back(s.connect([&] { order += 'n'; }));
        }
        many.resize(1);
    });
    second = s.connect([&] { order += 'b'; });
    s.raise();
    EXPECT_EQ(order, "a"); // the new handlers run from the next raise on
    many.front().disconnect();
    many.clear();
    order.clear();
    s.raise();
    EXPECT_EQ(order, "a");
}

TEST(Signal, ConnectionsCutOnDestructionInEitherOrder) {
    int calls = 0;
    auto s = std::make_unique<Signal<int>>();
    {
        const Connection c = s->connect([&](int n) { calls += n; });
        s->raise(2);
    }
    s->raise(5);
    EXPECT_EQ(calls, 2);
    Connection outlives = s->connect([&](int n) { calls += n; });
    s.reset();
    EXPECT_FALSE(outlives.connected());
    outlives.disconnect(); // the signal is gone: nothing happens
}

} // namespace
} // namespace trx::ui
