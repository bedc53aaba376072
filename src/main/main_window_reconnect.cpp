// "Reconnect automatically": a lost port is waited for and reopened as soon as it can be.
#include "main/main_window.hpp"
#include "monitor/supervision.hpp"
#include "netport/net_address.hpp"

#include <algorithm>

namespace trx::main {

bool MainWindow::network_chosen() const {
    return net::is_network_port(chosen_.name);
}

// A replay at its end and a simulator that ended do not come back by themselves.
bool MainWindow::reconnects() const {
    return !chosen_.simulator && chosen_.replay.empty() && reconnect_.on(network_chosen());
}

// The check item shows the choice for the kind of port chosen now.
void MainWindow::show_reconnect_choice() {
    const auto& entries = form_.Toolbar1.item(k_port_key).entries;
    const bool listed = std::any_of(entries.begin(), entries.end(),
                                    [](const auto& e) { return e.key == k_reconnect_key; });
    if (listed) {
        form_.Toolbar1.set_entry_checked(k_port_key, k_reconnect_key,
                                         reconnect_.on(network_chosen()));
    }
}

// Switched off while a lost port is waited for, the port shows closed as without it.
void MainWindow::toggle_reconnect() {
    reconnect_.set(network_chosen(), !reconnect_.on(network_chosen()));
    show_reconnect_choice();
    if (state_ == PortState::waiting && !reconnect_.on(network_chosen())) {
        stop_waiting();
        close_port();
    }
}

// No box: panel 1 says what the program waits for, the toolbar keeps offering "Close".
void MainWindow::wait_for_port() {
    port_.close();
    // The port may come back with another scanner on it: its set is read afresh.
    shared_.reply_since_link_up = false;
    enter(PortState::waiting);
    form_.StatusBar1.set_panel(monitor::k_link_panel,
                               std::string(monitor::k_waiting_for) + chosen_.name + " ...");
    port_closed.raise();
    retry_later();
}

// Finding the adapter again may have touched the caption: the waiting state is shown anew.
void MainWindow::retry_later() {
    enter(PortState::waiting);
    retry_ = clock_.call_after(network_chosen() ? k_retry_network : k_retry_local,
                               [this] { try_reopen(); });
}

// A USB adapter is taken again only under its by-id name: another adapter that got its old
// number meanwhile is not the scanner's. A network port's open is bounded by its connect time.
void MainWindow::try_reopen() {
    if (state_ != PortState::waiting) {
        return;
    }
    if (!chosen_.by_id.empty() && devices_ != nullptr) {
        refresh_port_menu();
        const bool present = std::any_of(listed_.begin(), listed_.end(),
                                         [&](const auto& d) { return d.by_id == chosen_.by_id; });
        if (!present) {
            retry_later();
            return;
        }
        find_again_by_id();
    }
    // A network port connects without holding the window up; the outcome comes back here.
    std::weak_ptr<bool> live = reopen_live_;
    port_.open_later([this, live](const ui::OpenResult& r) {
        if (const auto l = live.lock(); l && *l) {
            reopened(r);
        }
    });
}

void MainWindow::reopened(const ui::OpenResult& r) {
    if (state_ != PortState::waiting) {
        if (r.ok) {
            port_.close(); // closed by the technician while it connected
        }
        return;
    }
    if (!r.ok) {
        log_if(log_, LogLevel::debug, log_category::main,
               [&] { return "port " + chosen_.name + " not back yet: " + r.reason; });
        retry_later();
        return;
    }
    log_if(log_, LogLevel::info, log_category::main,
           [&] { return "port " + chosen_.name + " (" + port_.port_name() + ") open again"; });
    // The link supervision takes it from "offline", as at any open.
    form_.StatusBar1.set_panel(monitor::k_link_panel, "offline");
    shared_.port_name = port_.port_name();
    enter(PortState::open);
    port_opened.raise();
}

void MainWindow::stop_waiting() {
    retry_.cancel();
    if (state_ == PortState::waiting) {
        log_if(log_, LogLevel::info, log_category::main,
               [&] { return "no longer waiting for " + chosen_.name; });
        form_.StatusBar1.set_panel(monitor::k_link_panel, "offline");
    }
}

} // namespace trx::main
