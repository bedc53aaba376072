#include "qt/status_bar_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>

namespace trx::ui::qt {

namespace {

QLabel* make_panel(QWidget* parent, const QString& name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setContentsMargins(4, 0, 4, 0);
    return l;
}

} // namespace

StatusBarView::StatusBarView(StatusBar& model, QWidget* parent)
    : QStatusBar(parent), model_(model), simple_(make_panel(this, "simple")) {
    bind_common(this, model);
    setSizeGripEnabled(false);
    addWidget(simple_, 1);
    for (std::size_t i = 1; i <= model.panel_count(); ++i) {
        QLabel* l = make_panel(this, QString("panel%1").arg(i));
        const bool clock = model.panel_kind(i) != StatusBar::PanelKind::text;
        if (clock) {
            l->setAlignment(Qt::AlignCenter);
            l->setMinimumWidth(twips_x(1200, this));
        }
        // The first panel takes the room that is left; the others keep their size.
        addWidget(l, i == 1 ? 1 : 0);
        if (!clock && i > 1) {
            l->setMinimumWidth(twips_x(1500, this));
        }
        l->installEventFilter(this);
        panels_.push_back(l);
        menus_.push_back(nullptr);
        menu_keys_.emplace_back();
    }
    follow(this, model.changed, [this] { refresh(); });
    connect(&clock_, &QTimer::timeout, this, [this] { tick(); });
    clock_.start(1000);
    tick();
    refresh();
}

QLabel* StatusBarView::panel(std::size_t index) const {
    return index >= 1 && index <= panels_.size() ? panels_[index - 1] : nullptr;
}

QMenu* StatusBarView::menu(std::size_t index) const {
    return index >= 1 && index <= menus_.size() ? menus_[index - 1] : nullptr;
}

bool StatusBarView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (std::size_t i = 1; i <= panels_.size(); ++i) {
            if (watched == panels_[i - 1]) {
                clicked(i);
                return true;
            }
        }
    }
    return QStatusBar::eventFilter(watched, event);
}

// The model hears of the click first, so the entries are up to date when the menu shows.
void StatusBarView::clicked(std::size_t index) {
    model_.user_click_panel(index);
    QMenu* m = menu(index);
    if (m == nullptr || !model_.reachable() || model_.simple()) {
        return;
    }
    QLabel* l = panel(index);
    m->popup(l->mapToGlobal(QPoint(0, -m->sizeHint().height())));
}
void StatusBarView::refresh() {
    const bool simple = model_.simple();
    simple_->setVisible(simple);
    simple_->setText(QString::fromStdString(model_.simple_text()));
    for (std::size_t i = 1; i <= panels_.size(); ++i) {
        QLabel* l = panels_[i - 1];
        l->setVisible(!simple);
        if (model_.panel_kind(i) == StatusBar::PanelKind::text) {
            l->setText(QString::fromStdString(model_.panel(i)));
        }
        l->setToolTip(QString::fromStdString(model_.panel_tooltip(i)));
        refresh_menu(i);
    }
}

// Actions are rebuilt only when the entries themselves change; otherwise they are updated in
// place, so an action is never deleted while its own trigger is being handled.
void StatusBarView::refresh_menu(std::size_t index) {
    const std::string& key = model_.panel_menu(index);
    QMenu*& m = menus_[index - 1];
    if (key.empty()) {
        return;
    }
    const auto& entries = model_.menu_entries(key);
    if (m == nullptr) {
        m = new QMenu(this);
        m->setObjectName(QString::fromStdString(key));
        panels_[index - 1]->setCursor(Qt::PointingHandCursor);
    }
    std::vector<std::string> keys;
    for (const auto& e : entries) {
        keys.push_back(e.key + (e.separator_before ? "|" : ""));
    }
    if (keys != menu_keys_[index - 1]) {
        m->clear();
        for (const auto& e : entries) {
            if (e.separator_before) {
                m->addSeparator();
            }
            QAction* a = m->addAction(QString());
            a->setObjectName(QString::fromStdString(e.key));
            connect(a, &QAction::triggered, this,
                    [this, key, entry = e.key] { model_.user_choose(key, entry); });
        }
        menu_keys_[index - 1] = std::move(keys);
    }
    std::size_t i = 0;
    for (QAction* a : m->actions()) {
        if (a->isSeparator() || i >= entries.size()) {
            continue;
        }
        const auto& e = entries[i++];
        a->setText(QString::fromStdString(e.caption));
        a->setEnabled(e.enabled);
    }
}

void StatusBarView::tick() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    for (std::size_t i = 1; i <= panels_.size(); ++i) {
        const auto kind = model_.panel_kind(i);
        if (kind == StatusBar::PanelKind::time) {
            panels_[i - 1]->setText(locale.toString(now.time(), QLocale::ShortFormat));
        } else if (kind == StatusBar::PanelKind::date) {
            panels_[i - 1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
        }
    }
}

} // namespace trx::ui::qt
