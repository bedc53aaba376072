#include "qt/qt_event_pump.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

namespace trx::ui::qt {

QtEventPump::QtEventPump(QObject* parent) : QObject(parent) {
    if (auto* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { quitting_ = true; });
    }
}

bool QtEventPump::pump_until(const std::function<bool()>& done) {
    QEventLoop loop;
    while (!done()) {
        if (quitting_) {
            return false;
        }
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool QtEventPump::eventFilter(QObject* watched, QEvent* event) {
    if (!blocking_) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Close:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
        return true; // no input reaches any window while the work runs
    default:
        return QObject::eventFilter(watched, event);
    }
}

void QtEventPump::run_blocking(const std::function<void()>& work) {
    QEventLoop loop;
    QThread* thread = QThread::create(work);
    connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    blocking_ = true;
    QCoreApplication::instance()->installEventFilter(this);
    thread->start();
    loop.exec();
    thread->wait();
    QCoreApplication::instance()->removeEventFilter(this);
    blocking_ = false;
    delete thread;
}

void QtEventPump::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

} // namespace trx::ui::qt
