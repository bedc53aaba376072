#pragma once

#include "ui/control.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trx::ui {

// The status bar: panels of text, time or date, or one simple text; a panel may carry a
// tooltip and open a menu when clicked.
class StatusBar : public Control {
public:
    enum class PanelKind { text, time, date };
    // An entry of a panel's pop-up menu.
    struct MenuEntry {
        std::string key;
        std::string caption;
        bool enabled = true;
        bool separator_before = false; // a menu separator above the entry
    };
    StatusBar(Window& w, std::string name, std::vector<PanelKind> panels = {});

    [[nodiscard]] std::size_t panel_count() const { return panels_.size(); }
    [[nodiscard]] PanelKind panel_kind(std::size_t index) const;     // 1-based
    [[nodiscard]] const std::string& panel(std::size_t index) const; // 1-based
    void set_panel(std::size_t index, std::string text);
    [[nodiscard]] const std::string& panel_tooltip(std::size_t index) const;
    void set_panel_tooltip(std::size_t index, std::string text);
    [[nodiscard]] bool simple() const { return simple_; }
    void set_simple(bool s);
    [[nodiscard]] const std::string& simple_text() const { return simple_text_; }
    void set_simple_text(std::string t);

    // A click on the panel pops up this menu, named by its key.
    void set_panel_menu(std::size_t index, std::string menu_key, std::vector<MenuEntry> entries);
    // The key of the panel's menu; empty when it has none.
    [[nodiscard]] const std::string& panel_menu(std::size_t index) const;
    [[nodiscard]] const std::vector<MenuEntry>& menu_entries(std::string_view menu_key) const;
    [[nodiscard]] const MenuEntry& menu_entry(std::string_view menu_key,
                                              std::string_view entry_key) const;
    void set_menu_entry_enabled(std::string_view menu_key, std::string_view entry_key,
                                bool enabled);

    // --- user input ---
    // A click on a panel: `panel_click`, then for a panel with a menu `menu_opening`, so the
    // logic can bring the entries up to date before the menu shows.
    void user_click_panel(std::size_t index);
    void user_choose(std::string_view menu_key, std::string_view entry_key);

    Signal<std::size_t> panel_click;                       // 1-based panel
    Signal<const std::string&> menu_opening;               // menu key
    Signal<const std::string&, const std::string&> chosen; // menu key, entry key

private:
    struct Panel {
        PanelKind kind;
        std::string text;
        std::string tooltip;
        std::string menu_key;
        std::vector<MenuEntry> menu;
    };
    Panel& at(std::size_t index);
    [[nodiscard]] const Panel& at(std::size_t index) const;
    [[nodiscard]] const Panel& with_menu(std::string_view menu_key) const;

    std::vector<Panel> panels_;
    bool simple_ = false;
    std::string simple_text_;
};

} // namespace trx::ui
