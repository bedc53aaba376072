#pragma once

#include "ui/controls.hpp"

#include <QMenu>
#include <QResizeEvent>
#include <QToolBar>
#include <QToolButton>

#include <string>
#include <vector>

namespace trx::ui::qt {

// The toolbar: one captioned button per item (objectName: its key), the empty gaps between
// them, and a drop-down menu for an item with entries (action objectName: the entry key).
// The menu asks the model for fresh entries each time it is about to show. A caption too
// long for the bar ("Open " and a long capture or device name) keeps its first word and has
// its name elided in the middle, so every button stays on the bar; the tool tip holds it whole.
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

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void refresh();
    void fit_caption(Slot& slot, const std::string& caption);
    [[nodiscard]] int room_beside(const Slot& slot) const;
    void refresh_menu(Slot& slot, const Toolbar::Item& item);

    Toolbar& model_;
    std::vector<Slot> slots_;
};

} // namespace trx::ui::qt
