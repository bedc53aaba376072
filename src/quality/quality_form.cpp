#include "quality/quality_form.hpp"

namespace trx::quality {

QualityForm::QualityForm() {
    window_size.set_selected(1);
    constexpr int k_widths[k_tag_cols] = {500, 800, 900, 800, 800, 800, 800, 500, 900};
    for (int c = 0; c < k_tag_cols; ++c) {
        tags.set_col_width(c, k_widths[c]);
        tags.set_col_align(c, ui::Grid::Align::center_top);
    }
    trend_read_rate.set_range(0, 100);
}

} // namespace trx::quality
