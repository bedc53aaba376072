#pragma once

#include "history_window/history_form.hpp"
#include "qt/grid_view.hpp"
#include "qt/window_view.hpp"

namespace trx::ui::qt {

// The "History" window: the serial number with Show and Export CSV above the time line, the
// comparison of two entries' sets under it, and the loading of an entry's set at the bottom.
class HistoryView : public WindowView {
public:
    explicit HistoryView(history_window::HistoryForm& form, QWidget* parent = nullptr);
};

} // namespace trx::ui::qt
