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
    [[nodiscard]] Alarm call_after(std::chrono::milliseconds delay,
                                   std::function<void()> fn) override;

private:
    std::vector<std::unique_ptr<QTimer>> timers_;
};

} // namespace trx::ui::qt
