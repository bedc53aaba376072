#pragma once

#include "ui/controls.hpp"

#include <QLabel>

namespace trx::ui::qt {

// A label that shows a file path: whole when it fits, otherwise cut in the middle, among the
// folders, so that the file name at its end stays readable. The tooltip gives it whole.
class PathLabel : public QLabel {
public:
    PathLabel(Label& m, QWidget* parent);

    // The text as painted in the label's present width.
    [[nodiscard]] QString shown_text() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    [[nodiscard]] QRect text_rect() const;
};

} // namespace trx::ui::qt
