#pragma once

#include "ui/signal.hpp"

#include "link/status_decoder.hpp"
#include "ui/controls.hpp"

namespace trx::monitor {

// The two tag tables of the main window: `data` lists every stripe of the last scan, two
// rows per stripe; `data2` lists the coded stripes, one tag row each. `Check1` chooses the
// visible one. Both are rebuilt with drawing off, so a rebuild costs a view one refresh.
class TagTables {
public:
    TagTables(ui::Grid& data, ui::Grid& data2, ui::CheckBox& check1);

    // Begin of a scan redraw: drawing off on `data`, then `data2`; both emptied completely.
    void begin();
    // The part of stripe k's edge row that is known before its end angle: start and "+".
    void show_edge(int k, std::int32_t start);
    // The rest of stripe k's row pair, after show_edge, and for a coded stripe the next tag
    // row.
    void show_stripe(const link::Stripe& s);
    // The values of stripe 1 known only after the last stripe ("YA").
    void complete_first(const link::FirstStripe& f);
    // End of a scan redraw: headers, row numbers of the rows in view, drawing on again.
    void end(bool ya);

    // Row numbers of the 30 rows from the top row shown, written through the current cell.
    static void number_visible_rows(ui::Grid& g);

private:
    void on_scroll(ui::Grid& g);
    void on_check1_click();

    ui::Grid& data_;
    ui::Grid& data2_;
    ui::CheckBox& check1_;
    int tag_rows_ = 0; // tag rows written in this scan
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::monitor
