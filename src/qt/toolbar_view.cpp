#include "qt/toolbar_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QLayout>
#include <QStyle>

#include <algorithm>

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
        fit_caption(slot, item.caption);
        slot.button->setEnabled(item.enabled);
        if (slot.menu != nullptr) {
            refresh_menu(slot, item);
        }
    }
}

void ToolbarView::resizeEvent(QResizeEvent* e) {
    QToolBar::resizeEvent(e);
    refresh();
}

// The width the bar leaves a button's text: the bar less every other widget on it, the
// spacing between them and the button's own frame and arrow.
int ToolbarView::room_beside(const Slot& slot) const {
    int used = 0;
    int widgets = 0;
    for (QAction* a : actions()) {
        QWidget* w = widgetForAction(a);
        if (w == nullptr) {
            continue;
        }
        ++widgets;
        if (w != slot.button) {
            // A gap is a plain widget of fixed width: no size hint of its own.
            used += std::max(w->sizeHint().width(), w->minimumWidth());
        }
    }
    const QMargins m = contentsMargins();
    const int spacing = layout() != nullptr ? layout()->spacing() : 0;
    const int frame = slot.button->sizeHint().width() -
                      slot.button->fontMetrics().horizontalAdvance(slot.button->text());
    // The handle and a little slack, so the bar never needs its overflow arrow.
    const int slack = 2 * style()->pixelMetric(QStyle::PM_ToolBarHandleExtent, nullptr, this);
    return width() - used - m.left() - m.right() - spacing * (widgets + 1) - frame - slack;
}

void ToolbarView::fit_caption(Slot& slot, const std::string& caption) {
    const QString whole = QString::fromStdString(caption);
    const QFontMetrics fm = slot.button->fontMetrics();
    slot.button->setText(whole);
    const int room = room_beside(slot);
    if (fm.horizontalAdvance(whole) <= room) {
        slot.button->setToolTip(QString());
        return;
    }
    // "Open " stays whole; the name gives way in its middle, where a path or a file name
    // differs least.
    const QString trimmed = whole.trimmed();
    const qsizetype blank = trimmed.indexOf(u' ');
    const QString first = blank < 0 ? QString() : trimmed.left(blank + 1);
    const QString name = trimmed.mid(first.size());
    const int name_room = std::max(room - fm.horizontalAdvance(first), fm.averageCharWidth() * 3);
    slot.button->setText(first + fm.elidedText(name, Qt::ElideMiddle, name_room));
    slot.button->setToolTip(trimmed);
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
        // The model holds the state: a toggle shows once the logic has taken it.
        a->setCheckable(e.checkable);
        a->setChecked(e.checked);
        a->setToolTip(QString::fromStdString(e.tooltip.empty() ? e.caption : e.tooltip));
    }
}

} // namespace trx::ui::qt
