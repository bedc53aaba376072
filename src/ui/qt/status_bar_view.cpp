#include "ui/qt/status_bar_view.hpp"

#include "ui/qt/bind.hpp"
#include "ui/qt/follow.hpp"

#include <QDateTime>
#include <QLocale>

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
        panels_.push_back(l);
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
