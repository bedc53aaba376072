#include "qt/first_paint.hpp"

#include <QEvent>
#include <QTimer>

namespace trx::ui::qt {

FirstPaint::FirstPaint(QWidget& widget, std::function<void()> painted)
    : painted_(std::move(painted)) {
    widget.installEventFilter(this);
}

bool FirstPaint::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        // Queued, so it runs once this paint has been handled.
        QTimer::singleShot(0, this, [this] { painted_(); });
    }
    return false;
}

} // namespace trx::ui::qt
