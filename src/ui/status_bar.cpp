#include "ui/status_bar.hpp"

#include <stdexcept>
#include <utility>

namespace trx::ui {

StatusBar::StatusBar(Window& w, std::string name, std::vector<PanelKind> panels)
    : Control(w, std::move(name)) {
    for (auto k : panels) {
        panels_.push_back({k, {}, {}, {}, {}});
    }
}

const StatusBar::Panel& StatusBar::at(std::size_t index) const {
    if (index < 1 || index > panels_.size()) {
        throw std::out_of_range("no such panel in " + path());
    }
    return panels_[index - 1];
}

StatusBar::Panel& StatusBar::at(std::size_t index) {
    return const_cast<Panel&>(std::as_const(*this).at(index));
}

const StatusBar::Panel& StatusBar::with_menu(std::string_view menu_key) const {
    for (const auto& p : panels_) {
        if (!p.menu_key.empty() && p.menu_key == menu_key) {
            return p;
        }
    }
    throw std::out_of_range("no such menu: " + path() + "." + std::string(menu_key));
}

StatusBar::PanelKind StatusBar::panel_kind(std::size_t index) const {
    return at(index).kind;
}

const std::string& StatusBar::panel(std::size_t index) const {
    return at(index).text;
}

void StatusBar::set_panel(std::size_t index, std::string text) {
    auto& p = at(index);
    if (p.text == text) {
        return;
    }
    p.text = std::move(text);
    notify();
}

const std::string& StatusBar::panel_tooltip(std::size_t index) const {
    return at(index).tooltip;
}

void StatusBar::set_panel_tooltip(std::size_t index, std::string text) {
    auto& p = at(index);
    if (p.tooltip == text) {
        return;
    }
    p.tooltip = std::move(text);
    notify();
}

void StatusBar::set_simple(bool s) {
    if (simple_ == s) {
        return;
    }
    simple_ = s;
    notify();
}

void StatusBar::set_simple_text(std::string t) {
    if (simple_text_ == t) {
        return;
    }
    simple_text_ = std::move(t);
    notify();
}

void StatusBar::set_panel_menu(std::size_t index, std::string menu_key,
                               std::vector<MenuEntry> entries) {
    auto& p = at(index);
    p.menu_key = std::move(menu_key);
    p.menu = std::move(entries);
    notify();
}

const std::string& StatusBar::panel_menu(std::size_t index) const {
    return at(index).menu_key;
}

const std::vector<StatusBar::MenuEntry>& StatusBar::menu_entries(std::string_view menu_key) const {
    return with_menu(menu_key).menu;
}

const StatusBar::MenuEntry& StatusBar::menu_entry(std::string_view menu_key,
                                                  std::string_view entry_key) const {
    for (const auto& e : menu_entries(menu_key)) {
        if (e.key == entry_key) {
            return e;
        }
    }
    throw std::out_of_range("no such menu entry: " + path() + "." + std::string(menu_key) + "." +
                            std::string(entry_key));
}

void StatusBar::set_menu_entry_enabled(std::string_view menu_key, std::string_view entry_key,
                                       bool enabled) {
    auto& e = const_cast<MenuEntry&>(menu_entry(menu_key, entry_key));
    if (e.enabled == enabled) {
        return;
    }
    e.enabled = enabled;
    notify();
}

void StatusBar::user_click_panel(std::size_t index) {
    const std::string menu_key = at(index).menu_key;
    if (!reachable() || simple_) {
        return;
    }
    panel_click.raise(index);
    if (!menu_key.empty()) {
        menu_opening.raise(menu_key);
    }
}

void StatusBar::user_choose(std::string_view menu_key, std::string_view entry_key) {
    const auto& e = menu_entry(menu_key, entry_key);
    if (!reachable() || simple_ || !e.enabled) {
        return;
    }
    // Copies: a handler may change the entries while it runs.
    const std::string k(menu_key);
    const std::string ek = e.key;
    chosen.raise(k, ek);
}

} // namespace trx::ui
