// What the parameter tests share: a started program with its port open, and "W" replies
// written field by field as a scanner sends them.
#pragma once

#include "link/frame.hpp"
#include "main/program.hpp"
#include "testkit/driver.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace trx::para::test {

using namespace std::chrono_literals;

// A parameter reply, each field as the characters on the wire; defaults are in range.
struct Reply {
    std::string serial = "0012AB34";
    std::string version = "006D";
    std::string speed = "007D";
    std::string resolution = "0002";
    std::string switches = "0003";
    std::string gap_offset_abs = "0005";
    std::string equal_tolerance_abs = "0006";
    std::string min_modul_angle = "0007";
    std::string max_modul_angle = "0123";
    std::string can_baud = "03";
    std::string rs232_baud = "05";
    std::string equal_tolerance_rel = "0008";
    std::string gap_offset_rel = "0009";
    std::string gap_correction = "0064";
    std::string can_identifier = "07FF";

    [[nodiscard]] std::string short_payload() const {
        return serial + version + speed + resolution + switches;
    }
    [[nodiscard]] std::string long_payload() const {
        return short_payload() + gap_offset_abs + equal_tolerance_abs + min_modul_angle +
               max_modul_angle + can_baud + rs232_baud + equal_tolerance_rel + gap_offset_rel +
               gap_correction + can_identifier + std::string(20, '0');
    }
    [[nodiscard]] std::string za() const { return link::build_frame('W', short_payload()); }
    [[nodiscard]] std::string ya() const { return link::build_frame('W', long_payload()); }
};

inline const std::string k_read_para = "\x02R52\x03";
inline const std::string k_read_index = "\x02L4C\x03";

struct ParaTest : ::testing::Test {
    testkit::Driver d;

    void SetUp() override {
        d.start();
        // Opening the port from the toolbar lands with the main window logic.
        ASSERT_TRUE(d.program().services().port.open().ok);
    }
    Shared& shared() { return d.program().shared(); }
    // Until the toolbar's "Parameter" button shows the window, show it on its model.
    void show_para() { d.program().para_form().window.show(); }
    // Good frames until Timer1 reports the link online (which enables the parameter
    // buttons); the index and parameter requests that go out on the way are dropped.
    void bring_online() {
        d.advance(500ms);
        keep_alive();
        d.advance(500ms);
        ASSERT_EQ(d.panel("main.StatusBar1", 1), "online");
        keep_alive();
        d.advance(500ms);
        (void)d.sent();
    }
    // A good frame the dispatch ignores: it keeps the link online for one more tick.
    void keep_alive() { d.receive(link::build_frame('Q', "")); }
};

} // namespace trx::para::test
