#pragma once

#include "ui/control.hpp"

#include <QWidget>

namespace trx::ui::qt {

// Base of the three windows' Qt views: caption, shown state, hourglass pointer, activation,
// the close box, and keys seen by the window before its controls.
class WindowView : public QWidget {
public:
    explicit WindowView(Window& model, QWidget* parent = nullptr);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;
    WindowView(WindowView&&) = delete;
    WindowView& operator=(WindowView&&) = delete;

    [[nodiscard]] Window& model() const { return model_; }
    // Client area in twips at the screen's logical DPI, centred on the screen.
    void set_client_twips(double width, double height);

protected:
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void refresh();
    Window& model_;
    bool placed_ = false;
};

} // namespace trx::ui::qt
