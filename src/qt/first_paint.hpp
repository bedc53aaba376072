#pragma once

#include <QObject>
#include <QWidget>

#include <functional>

namespace trx::ui::qt {

// Calls `painted` once, when the widget's first paint has been handled: how long start-up
// takes as the technician sees it.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget& widget, std::function<void()> painted);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::function<void()> painted_;
};

} // namespace trx::ui::qt
