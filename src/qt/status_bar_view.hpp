#pragma once

#include "ui/controls.hpp"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

#include <vector>

namespace trx::ui::qt {

// Status bar with the model's panels (objectName "panel1" ...). Text panels show the model's
// text; time and date panels show the clock, updated every second, in the system's format.
// In simple mode one text spans the bar instead. A click on a panel goes to the model; a
// panel with a menu then pops it up above itself (menu objectName: its key; action
// objectName: the entry key).
class StatusBarView : public QStatusBar {
public:
    StatusBarView(StatusBar& model, QWidget* parent);

    [[nodiscard]] QLabel* panel(std::size_t index) const; // 1-based
    [[nodiscard]] QMenu* menu(std::size_t index) const;   // null when the panel has none

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void refresh_menu(std::size_t index);
    void tick();
    void clicked(std::size_t index);

    StatusBar& model_;
    std::vector<QLabel*> panels_;
    std::vector<QMenu*> menus_;                       // per panel; null without a menu
    std::vector<std::vector<std::string>> menu_keys_; // the actions now in each menu
    QLabel* simple_;
    QTimer clock_;
};

} // namespace trx::ui::qt
