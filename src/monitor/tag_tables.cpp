#include "monitor/tag_tables.hpp"

#include "base/numtext.hpp"

#include <algorithm>

namespace trx::monitor {

namespace {

// Columns of `data`.
constexpr int k_angle = 1;
constexpr int k_flag = 2;
constexpr int k_width = 3;
constexpr int k_tag_width = 4;
constexpr int k_code = 5;
// Columns of `data2`.
constexpr int k_tag_angle = 1;
constexpr int k_tag_row_width = 2;
constexpr int k_tag_row_code = 3;

void set_number(ui::Grid& g, int row, int col, std::int64_t v) {
    g.set_cell(row, col, num::dec(v));
}

void set_optional(ui::Grid& g, int row, int col, const std::optional<std::int64_t>& v) {
    if (v) {
        set_number(g, row, col, *v);
    }
}

} // namespace

TagTables::TagTables(ui::Grid& data, ui::Grid& data2, ui::CheckBox& check1)
    : data_(data), data2_(data2), check1_(check1) {
    connections_ += data_.scrolled.connect([this] { on_scroll(data_); });
    connections_ += data2_.scrolled.connect([this] { on_scroll(data2_); });
    connections_ += check1_.click.connect([this] { on_check1_click(); });
}

void TagTables::begin() {
    data_.set_drawing(false);
    data2_.set_drawing(false);
    data_.clear();
    data2_.clear();
    tag_rows_ = 0;
}

void TagTables::show_edge(int k, std::int32_t start) {
    const int edge = 2 * k - 1;
    set_number(data_, edge, k_angle, start);
    data_.set_cell(edge, k_flag, "+");
}

void TagTables::show_stripe(const link::Stripe& s) {
    const int edge = 2 * s.k - 1;
    const int end_row = 2 * s.k;
    set_optional(data_, edge, k_width, s.gap);
    set_number(data_, end_row, k_angle, s.end);
    data_.set_cell(end_row, k_flag, "-");
    set_number(data_, end_row, k_width, s.record.width);
    set_optional(data_, end_row, k_tag_width, s.tag_width);
    if (s.record.code == 0) {
        return;
    }
    set_number(data_, end_row, k_code, s.record.code);
    const int row = ++tag_rows_;
    set_number(data2_, row, k_tag_row_code, s.record.code);
    // The tag row repeats the end row's tag width, and has an angle only beside one.
    data2_.set_cell(row, k_tag_row_width, data_.cell(end_row, k_tag_width));
    if (!data2_.cell(row, k_tag_row_width).empty()) {
        set_optional(data2_, row, k_tag_angle, s.tag_angle);
    }
}

void TagTables::complete_first(const link::FirstStripe& f) {
    set_optional(data_, 1, k_width, f.gap);
    if (f.code == 0) {
        return;
    }
    set_optional(data_, 2, k_tag_width, f.tag_width);
    data2_.set_cell(1, k_tag_row_width, data_.cell(2, k_tag_width));
    set_optional(data2_, 1, k_tag_angle, f.tag_angle);
}

void TagTables::end(bool ya) {
    data_.set_cell(0, k_angle, "angle");
    data_.set_cell(0, k_flag, "flag");
    data_.set_cell(0, k_width, "width");
    if (ya) {
        data_.set_cell(0, k_tag_width, "tag width");
        data_.set_cell(0, k_code, "code");
    }
    number_visible_rows(data_);
    data2_.set_cell(0, k_tag_angle, "angle");
    data2_.set_cell(0, k_tag_row_width, "tag width");
    data2_.set_cell(0, k_tag_row_code, "code");
    number_visible_rows(data2_);
    data_.set_drawing(true);
    data2_.set_drawing(true);
}

void TagTables::number_visible_rows(ui::Grid& g) {
    const int top = g.top_row();
    const int last = std::min(top + g.visible_rows() - 1, g.rows() - 1);
    for (int row = top; row <= last; ++row) {
        g.set_current(row, 0);
        g.set_current_text(num::dec(row));
    }
}

// The newly visible rows get their numbers; the view is told once, not once per number.
void TagTables::on_scroll(ui::Grid& g) {
    const bool drawing = g.drawing();
    g.set_drawing(false);
    number_visible_rows(g);
    g.set_drawing(drawing);
}

void TagTables::on_check1_click() {
    const bool filtered = check1_.checked();
    data_.set_visible(!filtered);
    data2_.set_visible(filtered);
}

} // namespace trx::monitor
