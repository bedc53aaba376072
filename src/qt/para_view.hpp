#pragma once

#include "forms/para_form.hpp"
#include "qt/window_view.hpp"

namespace trx::ui::qt {

// The parameter window: "Basic Settings" and "Filter Parameters" on the left, "Device Info"
// and "Action" on the right, the status line along the bottom. Every widget shows its model
// and hands the technician's input to it; the window's logic lives in para::ParaWindow.
class ParaView : public WindowView {
public:
    explicit ParaView(para::ParaForm& form, QWidget* parent = nullptr);
};

} // namespace trx::ui::qt
