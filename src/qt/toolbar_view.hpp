#pragma once

#include "ui/controls.hpp"

#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <string>
#include <vector>

namespace trx::ui::qt {

// The toolbar: one captioned button per item (objectName: its key), the empty gaps between
// them, and a drop-down menu for an item with entries (action objectName: the entry key).
// The menu asks the model for fresh entries each time it is about to show.
class ToolbarView : public QToolBar {
public:
    ToolbarView(Toolbar& model, QWidget* parent);

    [[nodiscard]] QToolButton* button(const std::string& key) const;
    [[nodiscard]] QMenu* menu(const std::string& key) const;

private:
    struct Slot {
        std::string key;
        QToolButton* button = nullptr;
        QMenu* menu = nullptr;
        std::vector<std::string> entry_keys{}; // the actions now in the menu, in order
    };

    void refresh();
    void refresh_menu(Slot& slot, const Toolbar::Item& item);

    Toolbar& model_;
    std::vector<Slot> slots_;
};

} // namespace trx::ui::qt
