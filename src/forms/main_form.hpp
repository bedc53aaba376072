#pragma once

#include "ui/controls.hpp"

#include <array>

namespace trx::main {

inline constexpr const char* k_main_caption = "TRX 81500-A V1.09";
inline constexpr int k_grid_rows = 1001;
inline constexpr int k_grid_visible_rows = 30;

// The controls that show the scanner's live data: shown greyed while `stale_note` is up.
inline constexpr std::array<const char*, 8> k_live_views{
    "data", "data2", "map", "speed_ok", "temp_low", "heater_activ", "temperature", "inkremente"};

// The controls of the main window with their state at start.
struct MainForm {
    MainForm();

    ui::Window window{"main", k_main_caption};

    ui::Toolbar Toolbar1;
    ui::StatusBar StatusBar1{window,
                             "StatusBar1",
                             {ui::StatusBar::PanelKind::text, ui::StatusBar::PanelKind::text,
                              ui::StatusBar::PanelKind::time, ui::StatusBar::PanelKind::date}};

    ui::Frame Frame1{window, "Frame1", "Status"};
    ui::CheckBox heater_activ{window, "heater_activ", "Heater activ", &Frame1};
    ui::CheckBox temp_low{window, "temp_low", "Temperature low", &Frame1};
    ui::CheckBox speed_ok{window, "speed_ok", "Speed OK", &Frame1};
    ui::Label temperature_text{window, "temperature_text", "Temperature:", &Frame1};
    ui::Label temperature{window, "temperature", "", &Frame1};
    ui::Label temperature_einheit{window, "temperature_einheit", "[°C]", &Frame1};
    ui::Label inkremente_text{window, "inkremente_text", "Resolution:", &Frame1};
    ui::Label inkremente{window, "inkremente", "", &Frame1};
    ui::Label inkremente_einheit{window, "inkremente_einheit", "[pulses/rev.]", &Frame1};

    ui::Picture map{window, "map", 5175, 5175, ui::rgb(224, 224, 224)};
    ui::Shape laser{window, "laser", 135, 135, ui::rgb(255, 255, 0)};
    ui::Line Line1{window, "Line1", ui::rgb(128, 128, 128)};

    ui::Grid data{window, "data", k_grid_rows, 6, k_grid_visible_rows};
    ui::Grid data2{window, "data2", k_grid_rows, 4, k_grid_visible_rows};

    ui::Frame display_filter_frame{window, "display_filter_frame", "Display Filter"};
    ui::CheckBox Check1{window, "Check1", "only filtered tags", &display_filter_frame};

    ui::Frame comand{window, "comand", "Comand"};
    ui::CheckBox motor_off{window, "motor_off", "Motor off", &comand};
    ui::CheckBox laser_on{window, "laser_on", "Laser on", &comand};

    ui::Label Picture1{window, "Picture1"};
    // Over the picture once the views hold old data: "No live data since 14:02:31"; hidden
    // while status frames come in and before the first one.
    ui::Label stale_note{window, "stale_note"};

    ui::Timer Timer1{window, "Timer1", 500, true};
    ui::Timer Timer2{window, "Timer2", 500, false};
    ui::Timer Timer3{window, "Timer3", 1, true};
    // The link statistics of panel 2, once a second from the first opening of a port.
    ui::Timer statistics_timer{window, "statistics_timer", 1000, false};
};

} // namespace trx::main
