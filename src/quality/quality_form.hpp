#pragma once

#include "ui/controls.hpp"
#include "ui/trend.hpp"

namespace trx::quality {

inline constexpr const char* k_quality_caption = "Scan quality";
// The header row and one row per code 1 ... 255.
inline constexpr int k_tag_rows = 256;
inline constexpr int k_tag_cols = 9;
inline constexpr int k_tag_visible_rows = 16;

// The columns of the table; the code stands in the fixed column 0.
enum TagColumn : int {
    col_code = 0,
    col_rate = 1,
    col_degrees = 2,
    col_angle = 3,
    col_angle_sd = 4,
    col_width = 5,
    col_width_sd = 6,
    col_duplicates = 7,
    col_last_seen = 8,
};

// The controls of the "Scan quality" window with their state at start.
struct QualityForm {
    QualityForm();

    ui::Window window{"quality", k_quality_caption};

    ui::Label window_size_text{window, "window_size_text", "Window:"};
    ui::ComboBox window_size{
        window, "window_size", {"50 turns", "100 turns", "500 turns", "1000 turns"}, "100 turns"};
    ui::Button cmd_reset{window, "cmd_reset", "Reset"};
    ui::Button cmd_export{window, "cmd_export", "Export CSV"};

    ui::Label turns{window, "turns"}; // what the figures cover
    ui::Label note{window, "note"};   // why the table is empty, or why it restarted
    ui::Label turn_rate{window, "turn_rate"};
    ui::Label temperature{window, "temperature"};
    ui::Label stripes{window, "stripes"};
    ui::Label status_bits{window, "status_bits"};

    ui::TagTable tags{window, "tags", k_tag_rows, k_tag_cols, k_tag_visible_rows};

    ui::Trend trend_rate{window, "trend_rate", "Turn rate", "turns/s"};
    ui::Trend trend_temperature{window, "trend_temperature", "Temperature", "°C"};
    ui::Trend trend_stripes{window, "trend_stripes", "Stripes per turn", ""};
    ui::Trend trend_read_rate{window, "trend_read_rate", "Read rate", "%"};

    // Repaints at most four times a second, whatever the turn rate.
    ui::Timer refresh_timer{window, "refresh_timer", 250, false};
};

} // namespace trx::quality
