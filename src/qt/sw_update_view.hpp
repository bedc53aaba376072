#pragma once

#include "forms/sw_update_form.hpp"
#include "qt/window_view.hpp"

#include <QProgressBar>

namespace trx::ui::qt {

// Progress bar: range, value and text follow the model; a maximum of 0 shows a busy bar.
class ProgressView : public QProgressBar {
public:
    ProgressView(ProgressBar& m, QWidget* parent);
    [[nodiscard]] QString text() const override;

private:
    void refresh();
    ProgressBar& model_;
};

// The software update window: the hex file, the Program button, the log and its progress
// bar, and Close.
class SwUpdateView : public WindowView {
public:
    explicit SwUpdateView(sw_update::SwUpdateForm& form, QWidget* parent = nullptr);

    static constexpr double k_client_width = 6135;
    static constexpr double k_client_height = 6090;
};

} // namespace trx::ui::qt
