#pragma once

#include "link/para_catalogue.hpp"
#include "ui/controls.hpp"

namespace trx::history_window {

inline constexpr const char* k_history_caption = "History";
// The header row and the newest entries; older ones are in "Export CSV".
inline constexpr int k_entry_rows = 501;
inline constexpr int k_entry_cols = 7;
// The header row and one row per field of the catalogue.
inline constexpr int k_compare_rows = static_cast<int>(link::k_para_field_count) + 1;
inline constexpr int k_compare_cols = 5;

// The columns of the time line; the entry's id stands in the fixed column 0.
enum EntryColumn : int {
    col_id = 0,
    col_time = 1,
    col_kind = 2,
    col_ok = 3,
    col_station = 4,
    col_user = 5,
    col_what = 6,
};

// The columns of the comparison; the field's name stands in the fixed column 0.
enum CompareColumn : int {
    col_field = 0,
    col_unit = 1,
    col_first = 2,
    col_second = 3,
    col_differs = 4,
};

// The controls of the "History" window with their state at start.
struct HistoryForm {
    HistoryForm();

    ui::Window window{"history", k_history_caption};

    ui::Label serial_text{window, "serial_text", "Serial No.:"};
    ui::TextBox serial{window, "serial"};
    ui::Button cmd_show{window, "cmd_show", "Show"};
    ui::Button cmd_export{window, "cmd_export", "Export CSV"};
    ui::Label note{window, "note"}; // what the time line shows, or why it is empty

    ui::Grid entries{window, "entries", k_entry_rows, k_entry_cols, 12};

    ui::Label compare_text{window, "compare_text", "Compare the sets of entries"};
    ui::TextBox compare_first{window, "compare_first"};
    ui::TextBox compare_second{window, "compare_second"};
    ui::Button cmd_compare{window, "cmd_compare", "Compare"};
    ui::Grid comparison{window, "comparison", k_compare_rows, k_compare_cols, 10};

    ui::Label load_text{window, "load_text", "Set of entry"};
    ui::TextBox load_id{window, "load_id"};
    ui::Button cmd_load{window, "cmd_load", "Load into the parameter window"};
};

} // namespace trx::history_window
