#pragma once

// Whole-program tests on Qt's real event loop: one application object per test program, and
// a wait that handles events until a condition holds, with generous patience because the
// machine may be busy. It ends as soon as the condition holds.
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <functional>

namespace trx::test {

inline void ensure_application() {
    static int argc = 1;
    static char name[] = "trx81500-test";
    static char* argv[] = {name, nullptr};
    static const QApplication* app = new QApplication(argc, argv);
    (void)app;
}

inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    QTimer wake; // look at `done` even when nothing arrives
    wake.start(10);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace trx::test
