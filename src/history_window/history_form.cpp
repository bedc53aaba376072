#include "history_window/history_form.hpp"

namespace trx::history_window {

HistoryForm::HistoryForm() {
    serial.set_tooltip("the scanner's serial number; the connected scanner's when opened");
    compare_first.set_tooltip("id of the first entry");
    compare_second.set_tooltip("id of the second entry");
    load_id.set_tooltip("id of the entry whose set is loaded; nothing is sent");
    constexpr const char* k_entry_headers[k_entry_cols] = {"id",      "time (UTC)", "kind", "ok",
                                                           "station", "user",       "what"};
    for (int c = 0; c < k_entry_cols; ++c) {
        entries.set_cell(0, c, k_entry_headers[c]);
    }
    constexpr const char* k_compare_headers[k_compare_cols] = {"field", "unit", "first", "second",
                                                               "differs"};
    for (int c = 0; c < k_compare_cols; ++c) {
        comparison.set_cell(0, c, k_compare_headers[c]);
    }
}

} // namespace trx::history_window
