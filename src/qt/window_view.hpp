#pragma once

#include "ui/control.hpp"

#include <QWidget>

namespace trx::ui::qt {

// Base of the three windows' Qt views: caption, shown state, hourglass pointer, activation,
// the close box, and keys seen by the window before its controls. All three share one font,
// the one their twips layouts are measured for.
class WindowView : public QWidget {
public:
    explicit WindowView(Window& model, QWidget* parent = nullptr);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;
    WindowView(WindowView&&) = delete;
    WindowView& operator=(WindowView&&) = delete;

    // The windows' font size: with it the 240-twip grid rows hold their text, and the
    // captions fit the boxes the twips layout gives them.
    static constexpr double k_font_points = 8;

    [[nodiscard]] Window& model() const { return model_; }
    // Client area in twips at the screen's logical DPI, centred on the screen.
    void set_client_twips(double width, double height);

protected:
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void refresh();
    void show_busy(bool busy);
    Window& model_;
    // This window's entry on the application's override cursor stack, while it is busy.
    bool busy_cursor_ = false;
};

} // namespace trx::ui::qt
