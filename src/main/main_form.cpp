#include "main/main_form.hpp"

#include <string>
#include <vector>

namespace trx::main {

namespace {

std::vector<ui::Toolbar::Entry> com_entries() {
    std::vector<ui::Toolbar::Entry> entries;
    for (int n = 1; n <= 10; ++n) {
        const std::string s = std::to_string(n);
        entries.push_back({"com" + s, "COM" + s, true, {}});
    }
    return entries;
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
    Timer1.set_tag("offline");
}

} // namespace trx::main
