#pragma once

#include "ui/services.hpp"

#include <QObject>

#include <functional>

namespace trx::ui::qt {

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
