#include "forms/para_form.hpp"

#include <stdexcept>

namespace trx::para {

namespace form_text {

std::string label(link::ParaField f) {
    return std::string(link::para_field(f).label);
}

std::string unit(link::ParaField f) {
    return std::string(link::para_field(f).unit);
}

std::vector<std::string> items(link::ParaField f) {
    const auto& list = link::para_field(f).items;
    return {list.begin(), list.end()};
}

std::string initial_text(link::ParaField f) {
    return std::string(link::para_field(f).initial_text);
}

int spinner_min(link::ParaField f) {
    return static_cast<int>(link::para_field(f).min);
}

int spinner_max(link::ParaField f) {
    return static_cast<int>(link::para_field(f).max);
}

int spinner_start(link::ParaField f) {
    return link::para_field(f).spinner_start;
}

} // namespace form_text

ParaForm::ParaForm() {
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (!f.tooltip.empty()) {
            control(f).set_tooltip(std::string(f.tooltip));
        }
    }
    seriennummer.set_locked(true);
    typ.set_tooltip("type of laser scanner");
    index.set_locked(true);
    index.set_tooltip("Index");
    command_read_index.set_enabled(false);
    command_read_index.set_visible(false);
    command_write_index.set_enabled(false);
    command_write_index.set_visible(false);

    cmd_send_para.set_enabled(false);
    cmd_read_para.set_enabled(false);
    for (ui::Button* b : {&cmd_save_file, &cmd_load_file, &cmd_compare_file, &cmd_backups}) {
        b->set_enabled(false);
    }
    statusbar.set_simple(true);
}

ui::Control& ParaForm::control(const link::ParaFieldDef& f) const {
    return window.get<ui::Control>(f.control);
}

ui::Spinner& ParaForm::spinner(const link::ParaFieldDef& f) const {
    if (f.spinner.empty()) {
        throw std::out_of_range("no spinner for the parameter " + std::string(f.name));
    }
    return window.get<ui::Spinner>(f.spinner);
}

} // namespace trx::para
