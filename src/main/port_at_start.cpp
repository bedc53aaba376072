#include "main/port_at_start.hpp"

#include "main/main_window.hpp"
#include "netport/net_address.hpp"

namespace trx::main {

PortAtStart::PortAtStart(MainForm& form, std::string name, std::function<void()> unknown,
                         MainWindow* window)
    : form_(form), name_(std::move(name)), unknown_(std::move(unknown)), window_(window) {
    // Connected after the supervision's handler, so it runs after the first check.
    connections_ += form_.Timer1.tick.connect([this] { open(); });
}

void PortAtStart::open() {
    if (done_) {
        return;
    }
    done_ = true;
    auto& toolbar = form_.Toolbar1;
    if (window_ != nullptr && net::is_network_port(name_)) {
        // A bad address has had its box.
        if (window_->choose_address(name_)) {
            toolbar.user_click(k_port_key);
        }
        return;
    }
    toolbar.user_open_menu(k_port_key);
    for (const auto& e : toolbar.item(k_port_key).entries) {
        if (e.caption == name_ || e.key == name_) {
            const std::string key = e.key; // choosing may rebuild the entries
            toolbar.user_choose(k_port_key, key);
            toolbar.user_click(k_port_key);
            return;
        }
    }
    if (unknown_) {
        unknown_();
    }
}

} // namespace trx::main
