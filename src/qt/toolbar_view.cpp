#include "qt/toolbar_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

namespace trx::ui::qt {

ToolbarView::ToolbarView(Toolbar& model, QWidget* parent) : QToolBar(parent), model_(model) {
    bind_common(this, model);
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const auto& item : model.items()) {
        if (item.gap_before > 0) {
            auto* gap = new QWidget(this);
            gap->setFixedWidth(twips_x(item.gap_before, this));
            addWidget(gap);
        }
        Slot slot{item.key};
        slot.button = new QToolButton(this);
        slot.button->setObjectName(QString::fromStdString(item.key));
        slot.button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        const std::string key = item.key;
        connect(slot.button, &QToolButton::clicked, this, [this, key] { model_.user_click(key); });
        if (!item.entries.empty()) {
            slot.menu = new QMenu(slot.button);
            slot.menu->setObjectName(QString::fromStdString(item.key + ".menu"));
            slot.menu->setToolTipsVisible(true);
            slot.button->setMenu(slot.menu);
            slot.button->setPopupMode(QToolButton::MenuButtonPopup);
            connect(slot.menu, &QMenu::aboutToShow, this,
                    [this, key] { model_.user_open_menu(key); });
        }
        addWidget(slot.button);
        slots_.push_back(std::move(slot));
    }
    follow(this, model.changed, [this] { refresh(); });
    refresh();
}

QToolButton* ToolbarView::button(const std::string& key) const {
    for (const auto& s : slots_) {
        if (s.key == key) {
            return s.button;
        }
    }
    return nullptr;
}

QMenu* ToolbarView::menu(const std::string& key) const {
    for (const auto& s : slots_) {
        if (s.key == key) {
            return s.menu;
        }
    }
    return nullptr;
}

void ToolbarView::refresh() {
    for (auto& slot : slots_) {
        const auto& item = model_.item(slot.key);
        slot.button->setText(QString::fromStdString(item.caption));
        slot.button->setEnabled(item.enabled);
        if (slot.menu != nullptr) {
            refresh_menu(slot, item);
        }
    }
}

// Actions are rebuilt only when the entries themselves change (the menu is about to show
// then); otherwise they are updated in place, so an action is never deleted while its own
// trigger is being handled.
void ToolbarView::refresh_menu(Slot& slot, const Toolbar::Item& item) {
    std::vector<std::string> keys;
    for (const auto& e : item.entries) {
        keys.push_back(e.key + (e.separator_before ? "|" : ""));
    }
    if (keys != slot.entry_keys) {
        slot.menu->clear();
        for (const auto& e : item.entries) {
            if (e.separator_before) {
                slot.menu->addSeparator();
            }
            QAction* a = slot.menu->addAction(QString());
            a->setObjectName(QString::fromStdString(e.key));
            const std::string key = slot.key;
            const std::string entry = e.key;
            connect(a, &QAction::triggered, this,
                    [this, key, entry] { model_.user_choose(key, entry); });
        }
        slot.entry_keys = std::move(keys);
    }
    const auto actions = slot.menu->actions();
    std::size_t i = 0;
    for (QAction* a : actions) {
        if (a->isSeparator() || i >= item.entries.size()) {
            continue;
        }
        const auto& e = item.entries[i++];
        a->setText(QString::fromStdString(e.caption));
        a->setEnabled(e.enabled);
        a->setToolTip(QString::fromStdString(e.tooltip.empty() ? e.caption : e.tooltip));
    }
}

} // namespace trx::ui::qt
