#pragma once

#include "ui/controls.hpp"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <vector>

namespace trx::ui::qt {

// Status bar with the model's panels (objectName "panel1" ...). Text panels show the model's
// text; time and date panels show the clock, updated every second, in the system's format.
// In simple mode one text spans the bar instead.
class StatusBarView : public QStatusBar {
public:
    StatusBarView(StatusBar& model, QWidget* parent);

    [[nodiscard]] QLabel* panel(std::size_t index) const; // 1-based

private:
    void refresh();
    void tick();

    StatusBar& model_;
    std::vector<QLabel*> panels_;
    QLabel* simple_;
    QTimer clock_;
};

} // namespace trx::ui::qt
