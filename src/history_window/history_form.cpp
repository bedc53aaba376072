#include "history_window/history_form.hpp"

namespace trx::history_window {

HistoryForm::HistoryForm() {
    serial.set_tooltip("the scanner's serial number; the connected scanner's when opened");
    compare_first.set_tooltip("id of the first entry");
    compare_second.set_tooltip("id of the second entry");
    load_id.set_tooltip("id of the entry whose set is loaded; nothing is sent");
    constexpr const char* k_entry_headers[k_entry_cols] = {"id",      "time (UTC)", "kind", "ok",
                                                           "station", "user",       "what"};
    // Twips; together within the window's width, "what" widest.
    constexpr int k_entry_widths[k_entry_cols] = {600, 2550, 900, 450, 900, 750, 2850};
    for (int c = 0; c < k_entry_cols; ++c) {
        entries.set_cell(0, c, k_entry_headers[c]);
        entries.set_col_width(c, k_entry_widths[c]);
    }
    constexpr const char* k_compare_headers[k_compare_cols] = {"field", "unit", "first", "second",
                                                               "differs"};
    constexpr int k_compare_widths[k_compare_cols] = {2700, 1200, 2100, 2100, 900};
    for (int c = 0; c < k_compare_cols; ++c) {
        comparison.set_cell(0, c, k_compare_headers[c]);
        comparison.set_col_width(c, k_compare_widths[c]);
    }
}

} // namespace trx::history_window
