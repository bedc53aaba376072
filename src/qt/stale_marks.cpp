#include "qt/stale_marks.hpp"

#include "forms/main_form.hpp"
#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPalette>

#include <vector>

namespace trx::ui::qt {

namespace {

constexpr double k_faded = 0.4;

constexpr const char* k_stale_property = "trx_stale";

// A table keeps its background and lines and greys its texts: faded as a whole, its viewport
// would turn dark. Everything else fades.
void set_faded(QWidget* w, bool faded) {
    if (faded == shown_stale(w)) {
        return;
    }
    w->setProperty(k_stale_property, faded);
    if (auto* table = qobject_cast<QAbstractItemView*>(w)) {
        QPalette p = table->palette();
        const QPalette normal = QApplication::palette(table);
        p.setColor(QPalette::Text, faded ? normal.color(QPalette::Disabled, QPalette::Text)
                                         : normal.color(QPalette::Active, QPalette::Text));
        table->setPalette(p);
        return;
    }
    if (!faded) {
        w->setGraphicsEffect(nullptr); // deletes the effect
        return;
    }
    auto* effect = new QGraphicsOpacityEffect(w);
    effect->setOpacity(k_faded);
    w->setGraphicsEffect(effect);
}

} // namespace

bool shown_stale(const QWidget* w) {
    return w != nullptr && w->property(k_stale_property).toBool();
}

QLabel* mark_stale_views(Label& note, QWidget* window, QWidget* picture) {
    QLabel* label = make_label(note, picture);
    label->setGeometry(picture->rect());
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    // A veil over the picture: the old rays show through, the note reads above them.
    label->setAutoFillBackground(false);
    label->setStyleSheet(
        "QLabel { background: rgba(255, 255, 255, 150); color: #303030; font-weight: bold; }");
    // The picture itself is veiled by the note; the rest fade.
    std::vector<QWidget*> views;
    for (const char* name : main::k_live_views) {
        auto* w = window->findChild<QWidget*>(QString::fromLatin1(name));
        if (w != nullptr && w != picture) {
            views.push_back(w);
        }
    }
    auto refresh = [&note, views] {
        for (QWidget* w : views) {
            set_faded(w, note.visible());
        }
    };
    follow(label, note.changed, refresh);
    refresh();
    label->raise();
    return label;
}

} // namespace trx::ui::qt
