// The main window as the technician meets it: start-up, activation, the key chord, shutdown.
#include "file_text.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace trx::testkit {
namespace {

namespace fs = std::filesystem;

// A toolbar button that only the link supervision enables; opened up for these tests.
void enable_parameter_button(Driver& d) {
    d.program().main_form().Toolbar1.set_enabled("parameter", true);
}

TEST(MainStartUp, PlacesThePictureBaseAndLaysOutBothGrids) {
    Driver d;
    d.start();

    // The dot centred in the 5175 x 5175 picture, the zero line from the centre straight up.
    const auto& laser = d.program().main_form().laser;
    EXPECT_DOUBLE_EQ(laser.left(), 5175.0 / 2 - 135.0 / 2);
    EXPECT_DOUBLE_EQ(laser.top(), 5175.0 / 2 - 135.0 / 2);
    const Segment l = d.line("main.Line1");
    EXPECT_DOUBLE_EQ(l.x1, 2587.5);
    EXPECT_DOUBLE_EQ(l.y1, 2587.5);
    EXPECT_DOUBLE_EQ(l.x2, 2587.5);
    EXPECT_DOUBLE_EQ(l.y2, 0.0);
    EXPECT_EQ(l.rgb, 0x808080U);
    EXPECT_TRUE(d.rays("main.map").empty());

    const auto& data = d.program().main_form().data;
    const auto& data2 = d.program().main_form().data2;
    const int data_widths[] = {450, 900, 400, 900, 900, 500};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(data.col_width(c), data_widths[c]) << "data column " << c;
        EXPECT_EQ(data.col_align(c), ui::Grid::Align::center_top) << "data column " << c;
    }
    const int data2_widths[] = {450, 900, 900, 500};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(data2.col_width(c), data2_widths[c]) << "data2 column " << c;
        EXPECT_EQ(data2.col_align(c), ui::Grid::Align::center_top) << "data2 column " << c;
    }

    EXPECT_EQ(d.cell("main.data", 0, 0), "");
    EXPECT_EQ(d.cell("main.data", 0, 1), "angle");
    EXPECT_EQ(d.cell("main.data", 0, 2), "flag");
    EXPECT_EQ(d.cell("main.data", 0, 3), "width");
    EXPECT_EQ(d.cell("main.data", 0, 4), "");
    EXPECT_EQ(d.cell("main.data", 0, 5), "");
    EXPECT_EQ(d.cell("main.data2", 0, 1), "angle");
    EXPECT_EQ(d.cell("main.data2", 0, 2), "tag width");
    EXPECT_EQ(d.cell("main.data2", 0, 3), "code");

    for (const char* g : {"main.data", "main.data2"}) {
        EXPECT_EQ(d.cell(g, 1, 0), "1") << g;
        EXPECT_EQ(d.cell(g, 10, 0), "10") << g;
        EXPECT_EQ(d.cell(g, 999, 0), "999") << g;
        EXPECT_EQ(d.cell(g, 1000, 0), "") << g;
        EXPECT_EQ(d.cell(g, 1, 1), "") << g;
        EXPECT_TRUE(d.drawing(g)) << g;
    }
    EXPECT_TRUE(d.visible("main.data"));
    EXPECT_FALSE(d.visible("main.data2"));
    EXPECT_FALSE(d.visible("main.comand"));
    EXPECT_FALSE(d.visible("main.display_filter_frame"));
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(d.port_name(), "");
}

TEST(MainActivation, CreatesTheOtherWindowsHiddenAndHidesThemOnEveryReturn) {
    Driver d;
    EXPECT_FALSE(d.exists("para"));
    EXPECT_FALSE(d.exists("sw_update"));
    d.start();
    EXPECT_TRUE(d.visible("main"));
    EXPECT_TRUE(d.exists("para"));
    EXPECT_TRUE(d.exists("sw_update"));
    EXPECT_FALSE(d.visible("para"));
    EXPECT_FALSE(d.visible("sw_update"));

    enable_parameter_button(d);
    d.click("main.Toolbar1.parameter");
    EXPECT_TRUE(d.visible("para"));
    EXPECT_TRUE(d.visible("main")); // shown beside the main window, not instead of it
    d.activate("main");
    EXPECT_FALSE(d.visible("para"));

    d.click("main.Toolbar1.comport"); // "Software" is reachable only with the port open
    d.click("main.Toolbar1.software");
    EXPECT_TRUE(d.visible("sw_update"));
    d.activate("main");
    EXPECT_FALSE(d.visible("sw_update"));
}

TEST(MainKeyChord, OnlyCtrlAltQShowsTheCommandBox) {
    Driver d;
    d.start();
    d.key("main", ctrl, 'Q');
    d.key("main", alt, 'Q');
    d.key("main", ctrl | alt | shift, 'Q');
    d.key("main", ctrl | alt, 'W');
    EXPECT_FALSE(d.visible("main.comand"));

    d.key("main", ctrl | alt, 'Q');
    EXPECT_TRUE(d.visible("main.comand"));
    EXPECT_FALSE(d.checked("main.motor_off"));
    EXPECT_FALSE(d.checked("main.laser_on"));
    d.key("main", ctrl | alt, 'Q');
    d.key("main", ctrl, 'Q');
    EXPECT_TRUE(d.visible("main.comand")); // nothing hides it again

    ui::KeyPress other{'Q', ui::mod_ctrl, false};
    d.program().main_form().window.user_key(other);
    EXPECT_FALSE(other.handled); // other keys go on to the control with the focus
}

TEST(MainShutdown, ExitWritesTheSettingsFileClosesThePortAndEnds) {
    Driver d;
    d.start();
    enable_parameter_button(d);
    d.click("main.Toolbar1.comport");
    d.click("main.Toolbar1.parameter");
    ASSERT_TRUE(d.port_open());

    d.click("main.Toolbar1.exit");
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(d.port_open());
    EXPECT_FALSE(d.visible("main"));
    EXPECT_FALSE(d.visible("para"));
    EXPECT_FALSE(d.visible("sw_update"));
    // No hex file chosen: one empty line.
    EXPECT_EQ(file_text(d.program_folder() / "TRX81500.ini"), "\r\n");
    // The next start shows no file.
    Driver next({d.program_folder()});
    next.start();
    EXPECT_EQ(next.text("sw_update.hexfilename"), "");
}

TEST(MainShutdown, TheCloseBoxEndsWithoutTouchingTheSettingsFile) {
    Driver d;
    const fs::path ini = d.program_folder() / "TRX81500.ini";
    { std::ofstream(ini, std::ios::binary) << "kept as it was\r\nsecond\r\n"; }
    d.start();
    d.click("main.Toolbar1.comport");
    d.close("main");
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(d.port_open());
    EXPECT_EQ(file_text(ini), "kept as it was\r\nsecond\r\n");

    Driver fresh;
    fresh.start();
    fresh.close("main");
    EXPECT_TRUE(fresh.ended());
    EXPECT_FALSE(fs::exists(fresh.program_folder() / "TRX81500.ini"));
}

} // namespace
} // namespace trx::testkit

namespace trx::main {
namespace {

// A table column without a width is not drawn: its header and cells are there for the logic
// and invisible to the technician.
TEST(EveryWindow, EveryTableColumnHasAWidth) {
    testkit::Driver d;
    d.start();
    for (const char* name : {"main", "para", "sw_update", "quality", "history"}) {
        ui::Window* w = d.program().window(name);
        ASSERT_NE(w, nullptr) << name;
        for (const ui::Control* c : w->controls()) {
            const auto* grid = dynamic_cast<const ui::Grid*>(c);
            if (grid == nullptr) {
                continue;
            }
            for (int col = 0; col < grid->cols(); ++col) {
                EXPECT_GT(grid->col_width(col), 0) << name << "." << c->name() << " column " << col;
            }
        }
    }
}

} // namespace
} // namespace trx::main
