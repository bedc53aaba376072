#include "forms/main_form.hpp"

#include "forms/port_menu.hpp"

#include <vector>

namespace trx::main {

namespace {

std::vector<ui::Toolbar::Entry> com_entries() {
    return port_entries({}, false, true);
}

std::vector<ui::Toolbar::Item> toolbar_items() {
    return {
        {"comport", "Open COM1    ", true, 0, com_entries()},
        {"parameter", "Parameter        ", false, 0, {}},
        {"software", "Software        ", false, 1500, {}},
        {"exit", "Exit             ", true, 1500, {}},
    };
}

} // namespace

MainForm::MainForm() : Toolbar1(window, "Toolbar1", toolbar_items()) {
    data2.set_visible(false);
    display_filter_frame.set_visible(false);
    comand.set_visible(false);
    stale_note.set_visible(false);
    Timer1.set_tag("offline");
}

} // namespace trx::main
