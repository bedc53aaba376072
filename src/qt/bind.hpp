#pragma once

#include "ui/controls.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

class QKeyEvent;

// Qt widgets bound to the control models. A widget shows its model and forwards user input
// to it; it holds no behaviour of its own. Every widget's objectName is its control name.
namespace trx::ui::qt {

// Logical-DPI conversion: 1440 twips per inch.
int twips_x(double twips, const QWidget* w);
int twips_y(double twips, const QWidget* w);

QColor qcolor(std::uint32_t rgb);

// A key event as the logic sees it; code 0 when the key means nothing to the logic.
KeyPress key_press(const QKeyEvent* e);

// objectName, visibility, enabled state and tooltip follow the model.
void bind_common(QWidget* w, Control& c);

QLabel* make_label(Label& m, QWidget* parent);
QPushButton* make_button(Button& m, QWidget* parent);
QCheckBox* make_check(CheckBox& m, QWidget* parent);
// A check box that only shows its model (a status bit): a click or a key cannot flip it, and
// Tab passes it by.
QCheckBox* make_indicator(CheckBox& m, QWidget* parent);
QComboBox* make_combo(ComboBox& m, QWidget* parent);
QGroupBox* make_frame(Frame& m, QWidget* parent);

// Single-line text box: keys go to the model's key handlers; the text shows the model.
class TextBoxEdit : public QLineEdit {
public:
    TextBoxEdit(TextBox& m, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void refresh();
    TextBox& model_;
};

// Multi-line read-only log box without scroll bars.
class LogBox : public QPlainTextEdit {
public:
    LogBox(TextBox& m, QWidget* parent);

private:
    void refresh();
    TextBox& model_;
};

// Compact up/down arrows: a spinner without its own text, beside the text box that shows
// the value.
class UpDown : public QWidget {
public:
    UpDown(Spinner& m, QWidget* parent);
};

} // namespace trx::ui::qt
