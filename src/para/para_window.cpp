#include "para/para_window.hpp"

#include <stdexcept>
#include <string>

namespace trx::para {

namespace {

bool is_service_chord(const ui::KeyPress& k) {
    return k.mods == (ui::mod_ctrl | ui::mod_alt) && (k.code == 'J' || k.code == 'j');
}

} // namespace

ParaWindow::ParaWindow(ParaForm& form, ui::Dialogs& dialogs)
    : form_(form), speed_(form.speed_anz, form.speed, dialogs),
      can_identifier_(form.can_identifier) {
    for (const link::ParaField id : k_filter_fields) {
        const link::ParaFieldDef& f = link::para_field(id);
        filters_.push_back(std::make_unique<FilterNumber>(form.window.get<ui::TextBox>(f.control),
                                                          form.spinner(f), dialogs, f.digits,
                                                          std::string(f.message)));
    }
    connections_ += form.window.key.connect([this](ui::KeyPress& k) { on_window_key(k); });
}

NumericField& ParaWindow::numeric(std::string_view box_name) {
    if (box_name == form_.speed_anz.name()) {
        return speed_;
    }
    for (const auto& f : filters_) {
        if (f->box().name() == box_name) {
            return *f;
        }
    }
    throw std::out_of_range("no numeric field: para." + std::string(box_name));
}

// The filter fields go with their frame; the other extended fields one by one, with their
// captions and unit labels.
void ParaWindow::show_extended(bool shown) {
    form_.frame_filter_parameter.set_visible(shown);
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        ui::Control& c = form_.control(f);
        if (!f.extended || c.parent() == &form_.frame_filter_parameter) {
            continue;
        }
        c.set_visible(shown);
        for (std::string_view name : {f.label_control, f.unit_control}) {
            if (!name.empty()) {
                form_.window.get<ui::Control>(name).set_visible(shown);
            }
        }
    }
}

// The window sees every key before its controls. Keys reach only a shown window.
void ParaWindow::on_window_key(ui::KeyPress& k) {
    if (!form_.window.shown() || !is_service_chord(k)) {
        return;
    }
    k.handled = true;
    enter_service_mode();
}

void ParaWindow::enter_service_mode() {
    form_.seriennummer.set_locked(false);
    form_.index.set_locked(false);
    for (ui::Button* b : {&form_.command_read_index, &form_.command_write_index}) {
        b->set_enabled(true);
        b->set_visible(true);
    }
}

} // namespace trx::para
