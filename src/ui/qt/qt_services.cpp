#include "ui/qt/qt_services.hpp"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

namespace trx::ui::qt {

// ---------------------------------------------------------------- QtClock

void QtClock::attach(Timer& timer) {
    auto qt = std::make_unique<QTimer>(this);
    qt->setTimerType(Qt::PreciseTimer);
    QTimer* raw = qt.get();
    connect(raw, &QTimer::timeout, this, [&timer] { timer.fire(); });
    auto arm = [raw, &timer] {
        if (timer.timer_enabled() && timer.interval() > 0) {
            raw->start(timer.interval());
        } else {
            raw->stop();
        }
    };
    timer.armed.connect(arm);
    arm();
    timers_.push_back(std::move(qt));
}

// ---------------------------------------------------------------- QtDialogs

namespace {
QMessageBox::Icon qt_icon(Icon i) {
    switch (i) {
    case Icon::critical:
        return QMessageBox::Critical;
    case Icon::warning:
        return QMessageBox::Warning;
    case Icon::information:
        return QMessageBox::Information;
    case Icon::question:
        return QMessageBox::Question;
    case Icon::none:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtDialogs::message(const Message& m) {
    QMessageBox box(qt_icon(m.icon), QString::fromStdString(m.title),
                    QString::fromStdString(m.text), QMessageBox::Ok, QApplication::activeWindow());
    if (!m.detail.empty()) {
        box.setInformativeText(QString::fromStdString(m.detail));
    }
    box.exec();
}

QString QtDialogs::qt_filter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        if (patterns == "*.*") {
            patterns = "*";
        }
        // File names on Linux are case-sensitive; offer both cases of a pattern.
        if (patterns != "*" && patterns.toLower() != patterns) {
            patterns += " " + patterns.toLower();
        }
        out << parts[i] + " (" + patterns + ")";
    }
    return out.join(";;");
}

std::string QtDialogs::open_file(const FileDialogRequest& r) {
    QFileDialog dlg(QApplication::activeWindow(), QString::fromStdString(r.title),
                    QString::fromStdString(r.initial_path), qt_filter(r.filter));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    QString ext = QString::fromStdString(r.default_ext);
    if (ext.startsWith('.')) {
        ext.remove(0, 1);
    }
    dlg.setDefaultSuffix(ext);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return {};
    }
    return dlg.selectedFiles().constFirst().toStdString();
}

// ---------------------------------------------------------------- QtEventPump

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
    qApp->installEventFilter(this);
    thread->start();
    loop.exec();
    thread->wait();
    qApp->removeEventFilter(this);
    blocking_ = false;
    delete thread;
}

void QtEventPump::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

} // namespace trx::ui::qt
