#include "para/para.hpp"

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace trx::para {

namespace {

struct FilterRule {
    FilterField ParaForm::*field;
    int digits;
    const char* message;
};

// Range and initial value live in the form's spinners; these are the rest of each field.
constexpr std::array<FilterRule, ParaWindow::k_filter_count> k_filter_rules{{
    {&ParaForm::gap_offset_abs, 2,
     "Possible values for difference between stripe and gap (absolute) : 0 - 99"},
    {&ParaForm::gap_offset_rel, 2,
     "Possible values for difference between stripe and gap (percentage) : 0 - 99"},
    {&ParaForm::equal_tolerance_abs, 2,
     "Possible values for difference between 2 stripes (absolute): 0 - 99"},
    {&ParaForm::equal_tolerance_rel, 2,
     "Possible values for difference between 2 stripes (percentage): 0 - 99"},
    {&ParaForm::gap_correction, 3, "Possible values for gap correction: 10 - 200"},
    {&ParaForm::min_modul_angle, 2, "Possible values for min. modul width: 0 - 99"},
    {&ParaForm::max_modul_angle, 3, "Possible values for max. modul width: 0 - 999"},
}};

bool is_service_chord(const ui::KeyPress& k) {
    return k.mods == (ui::mod_ctrl | ui::mod_alt) && (k.code == 'J' || k.code == 'j');
}

} // namespace

ParaWindow::ParaWindow(ParaForm& form, ui::Dialogs& dialogs)
    : form_(form), speed_(form.speed_anz, form.speed, dialogs),
      can_identifier_(form.can_identifier) {
    for (std::size_t i = 0; i < k_filter_count; ++i) {
        const FilterRule& r = k_filter_rules[i];
        FilterField& f = form.*r.field;
        filters_[i] = std::make_unique<FilterNumber>(f.anz, f.spin, dialogs, r.digits, r.message);
    }
    form.window.key.connect([this](ui::KeyPress& k) { on_window_key(k); });
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

void ParaWindow::show_extended(bool shown) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &form_.frame_filter_parameter, &form_.can_identifier, &form_.can_identifier_text,
             &form_.can_baudrate, &form_.can_baudrate_text, &form_.can_baudrate_einheit,
             &form_.rs232_baudrate, &form_.rs232_baudrate_text, &form_.rs232_baudrate_einheit}) {
        c->set_visible(shown);
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
