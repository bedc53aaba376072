#pragma once

#include "ui/services.hpp"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace trx::ui::qt {

// Timer models on QTimer. Every timer asks for a precise timer, so a 1 ms interval is
// really asked for as 1 ms.
class QtClock : public QObject, public Clock {
    Q_OBJECT
public:
    using QObject::QObject;
    void attach(Timer& timer) override;

private:
    std::vector<std::unique_ptr<QTimer>> timers_;
};

// Message boxes and the file dialog, modal over the active window.
class QtDialogs : public Dialogs {
public:
    void message(const Message& m) override;
    std::string open_file(const FileDialogRequest& r) override;
    // "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*" in Qt's form.
    static QString qt_filter(const std::string& filter);
};

// Waits by running the Qt event loop; every wait ends when the program quits.
class QtEventPump : public QObject, public EventPump {
    Q_OBJECT
public:
    explicit QtEventPump(QObject* parent = nullptr);
    bool pump_until(const std::function<bool()>& done) override;
    void run_blocking(const std::function<void()>& work) override;
    void post(std::function<void()> fn) override;
    void quit() override { quitting_ = true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool quitting_ = false;
    bool blocking_ = false;
};

} // namespace trx::ui::qt
