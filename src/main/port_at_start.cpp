#include "main/port_at_start.hpp"

#include "main/main_window.hpp"

#include <string>

namespace trx::main {

bool open_port_at_start(MainForm& form, std::string_view name) {
    auto& toolbar = form.Toolbar1;
    toolbar.user_open_menu(k_port_key);
    for (const auto& e : toolbar.item(k_port_key).entries) {
        if (e.caption == name || e.key == name) {
            const std::string key = e.key; // choosing may rebuild the entries
            toolbar.user_choose(k_port_key, key);
            toolbar.user_click(k_port_key);
            return true;
        }
    }
    return false;
}

} // namespace trx::main
