#include "qt/window_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace trx::ui::qt {

WindowView::WindowView(Window& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QString::fromStdString(model.name()));
    QFont f = font();
    f.setPointSizeF(k_font_points);
    setFont(f);
    follow(this, model.changed, [this] { refresh(); });
    qApp->installEventFilter(this);
}

WindowView::~WindowView() {
    qApp->removeEventFilter(this);
    show_busy(false);
}

void WindowView::set_client_twips(double width, double height) {
    const QSize size(twips_x(width, this), twips_y(height, this));
    setFixedSize(size);
    if (const QScreen* s = screen()) {
        const QRect r = s->availableGeometry();
        move(r.center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

void WindowView::refresh() {
    setWindowTitle(QString::fromStdString(model_.caption()));
    show_busy(model_.busy());
    if (model_.shown() && !isVisible()) {
        show();
        raise();
        activateWindow();
    } else if (!model_.shown() && isVisible()) {
        hide();
    }
}

// The hourglass goes over the whole application, not just this window's background: a widget
// with its own pointer (the I-beam of a text box) would show through a window cursor. Each
// window pushes at most one entry and takes back only its own, so the stack stays paired
// whichever window ends its busy spell first.
void WindowView::show_busy(bool busy) {
    if (busy == busy_cursor_) {
        return;
    }
    busy_cursor_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void WindowView::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        model_.user_activate();
    }
}

void WindowView::closeEvent(QCloseEvent* e) {
    // The logic decides what the close box does; the view follows the model.
    e->ignore();
    model_.user_close();
}

bool WindowView::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress) {
        return false;
    }
    auto* w = qobject_cast<QWidget*>(watched);
    if (w == nullptr || w->window() != this) {
        return false;
    }
    // A key travels up the parent chain when a widget ignores it; the window sees it once,
    // at the widget that has the focus.
    const QWidget* focus = QApplication::focusWidget();
    if (w != (focus != nullptr ? focus : this)) {
        return false;
    }
    auto* ke = static_cast<QKeyEvent*>(e);
    KeyPress k = key_press(ke);
    if (k.code == 0) {
        return false;
    }
    model_.user_key(k);
    // Only chords the window handled are kept from the focused control.
    return k.handled;
}

} // namespace trx::ui::qt
