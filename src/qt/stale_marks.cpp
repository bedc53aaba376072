#include "qt/stale_marks.hpp"

#include "forms/main_form.hpp"
#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QGraphicsOpacityEffect>

#include <vector>

namespace trx::ui::qt {

namespace {

constexpr double k_faded = 0.4;

void set_faded(QWidget* w, bool faded) {
    if (faded == shown_stale(w)) {
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
    return w != nullptr && qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect()) != nullptr;
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
