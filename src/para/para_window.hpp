#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "para/can_identifier.hpp"
#include "para/filter_number.hpp"
#include "para/numeric_field.hpp"
#include "para/speed_field.hpp"
#include "ui/services.hpp"

#include <memory>
#include <string_view>
#include <vector>

namespace trx::para {

// The logic of the parameter window's fields: key handlers, change rules and the check on
// leaving each field, and the service chord Ctrl+Alt+J. The window is created once and only
// hidden and shown, so every field keeps its value for the life of the program.
//
// The code that reads and stores the parameter set works on the same ParaForm. It writes a
// numeric field through `numeric(name).show(text)` (the change rule runs, the spinner
// follows), records what the scanner sent with `set_restore(text)`, and may set a spinner
// directly; only an arrow click makes the speed spinner rewrite its text.
class ParaWindow {
public:
    ParaWindow(ParaForm& form, ui::Dialogs& dialogs);

    // The numeric field whose text box has this name ("speed_anz", "gap_offset_abs_anz", ...);
    // std::out_of_range for any other name.
    [[nodiscard]] NumericField& numeric(std::string_view box_name);

    // Shows or hides the fields only the extended parameter set carries: the CAN identifier,
    // both baud rates and the filter parameters. They are shown until a reply says otherwise.
    void show_extended(bool shown);

private:
    void on_window_key(ui::KeyPress& k);
    void enter_service_mode();

    ParaForm& form_;
    SpeedField speed_;
    CanIdentifier can_identifier_;
    // The seven filter fields, top to bottom as the window shows them.
    std::vector<std::unique_ptr<FilterNumber>> filters_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
