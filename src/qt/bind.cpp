#include "qt/bind.hpp"

#include "qt/follow.hpp"
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace trx::ui::qt {

int twips_x(double twips, const QWidget* w) {
    const int dpi = w != nullptr ? w->logicalDpiX() : 96;
    return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

int twips_y(double twips, const QWidget* w) {
    const int dpi = w != nullptr ? w->logicalDpiY() : 96;
    return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

QColor qcolor(std::uint32_t rgb) {
    return {static_cast<int>((rgb >> 16U) & 0xFFU), static_cast<int>((rgb >> 8U) & 0xFFU),
            static_cast<int>(rgb & 0xFFU)};
}

KeyPress key_press(const QKeyEvent* e) {
    KeyPress k;
    const auto m = e->modifiers();
    k.mods = (m & Qt::ShiftModifier ? mod_shift : 0U) | (m & Qt::ControlModifier ? mod_ctrl : 0U) |
             (m & Qt::AltModifier ? mod_alt : 0U);
    const int key = e->key();
    if (key == Qt::Key_Backspace) {
        k.code = keys::backspace;
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        k.code = keys::enter;
    } else if ((k.mods & (mod_ctrl | mod_alt)) != 0 && key >= Qt::Key_A && key <= Qt::Key_Z) {
        k.code = 'A' + (key - Qt::Key_A);
    } else if (!e->text().isEmpty()) {
        const QChar c = e->text().at(0);
        k.code = c.unicode() < 256 && c.isPrint() ? c.unicode() : 0;
    }
    return k;
}

void bind_common(QWidget* w, Control& c) {
    w->setObjectName(QString::fromStdString(c.name()));
    auto refresh = [w, &c] {
        w->setVisible(c.visible());
        w->setEnabled(c.enabled());
        w->setToolTip(QString::fromStdString(c.tooltip()));
    };
    follow(w, c.changed, refresh);
    refresh();
}

QLabel* make_label(Label& m, QWidget* parent) {
    auto* w = new QLabel(parent);
    bind_common(w, m);
    auto refresh = [w, &m] { w->setText(QString::fromStdString(m.caption())); };
    follow(w, m.changed, refresh);
    refresh();
    return w;
}

QPushButton* make_button(Button& m, QWidget* parent) {
    auto* w = new QPushButton(parent);
    bind_common(w, m);
    auto refresh = [w, &m] { w->setText(QString::fromStdString(m.caption())); };
    follow(w, m.changed, refresh);
    refresh();
    QObject::connect(w, &QPushButton::clicked, w, [&m] { m.user_click(); });
    return w;
}

namespace {

// A check box that shows its model.
QCheckBox* check_view(CheckBox& m, QWidget* parent) {
    auto* w = new QCheckBox(QString::fromStdString(m.caption()), parent);
    bind_common(w, m);
    auto refresh = [w, &m] {
        if (w->isChecked() != m.checked()) {
            w->setChecked(m.checked());
        }
    };
    follow(w, m.changed, refresh);
    refresh();
    return w;
}

} // namespace

QCheckBox* make_check(CheckBox& m, QWidget* parent) {
    QCheckBox* w = check_view(m, parent);
    // The model decides the state: the click toggles it there, the view follows.
    QObject::connect(w, &QCheckBox::clicked, w, [w, &m](bool) {
        m.user_click();
        w->setChecked(m.checked());
    });
    return w;
}

QCheckBox* make_indicator(CheckBox& m, QWidget* parent) {
    QCheckBox* w = check_view(m, parent);
    w->setFocusPolicy(Qt::NoFocus);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    return w;
}

QComboBox* make_combo(ComboBox& m, QWidget* parent) {
    auto* w = new QComboBox(parent);
    w->setEditable(true);
    w->lineEdit()->setReadOnly(true);
    for (const auto& item : m.items()) {
        w->addItem(QString::fromStdString(item));
    }
    bind_common(w, m);
    auto refresh = [w, &m] {
        const QSignalBlocker block(w);
        w->setCurrentIndex(m.selected());
        w->setEditText(QString::fromStdString(m.text()));
    };
    follow(w, m.changed, refresh);
    refresh();
    QObject::connect(w, &QComboBox::activated, w, [&m](int index) { m.user_select(index); });
    return w;
}

QGroupBox* make_frame(Frame& m, QWidget* parent) {
    auto* w = new QGroupBox(parent);
    bind_common(w, m);
    auto refresh = [w, &m] { w->setTitle(QString::fromStdString(m.caption())); };
    follow(w, m.changed, refresh);
    refresh();
    return w;
}

// ---------------------------------------------------------------- TextBoxEdit

TextBoxEdit::TextBoxEdit(TextBox& m, QWidget* parent) : QLineEdit(parent), model_(m) {
    bind_common(this, m);
    follow(this, m.changed, [this] { refresh(); });
    // Only the model edits the text: an edit that reached the widget another way (a drop, a
    // middle-click paste, an input method) is put back at once.
    setAcceptDrops(false);
    QObject::connect(this, &QLineEdit::textEdited, this, [this] { refresh(); });
    refresh();
}

void TextBoxEdit::refresh() {
    const QString t = QString::fromStdString(model_.text());
    if (text() != t) {
        setText(t);
    }
    setReadOnly(model_.locked());
    QPalette pal = palette();
    pal.setColor(QPalette::Text, qcolor(model_.text_color()));
    setPalette(pal);
    setCursorPosition(static_cast<int>(model_.caret()));
}

void TextBoxEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        model_.user_paste(QApplication::clipboard()->text().toStdString());
        return;
    }
    if (e->matches(QKeySequence::Copy)) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    KeyPress k = key_press(e);
    if (k.code != 0) {
        model_.user_key(k);
    }
    refresh();
}

void TextBoxEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    model_.user_click();
    refresh();
}

void TextBoxEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (e->reason() != Qt::MouseFocusReason) {
        model_.user_focus();
    }
    refresh();
}

void TextBoxEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // A message box taking the focus is not the technician leaving the field.
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    model_.user_leave();
}

void TextBoxEdit::contextMenuEvent(QContextMenuEvent* e) {
    e->ignore();
}

// ---------------------------------------------------------------- LogBox

LogBox::LogBox(TextBox& m, QWidget* parent) : QPlainTextEdit(parent), model_(m) {
    bind_common(this, m);
    setReadOnly(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    follow(this, m.changed, [this] { refresh(); });
    follow(this, m.repaint_requested, [this] {
        refresh();
        viewport()->repaint();
    });
    refresh();
}

void LogBox::refresh() {
    QString t = QString::fromStdString(model_.text());
    t.replace("\r\n", "\n");
    if (toPlainText() != t) {
        setPlainText(t);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Text, qcolor(model_.text_color()));
    setPalette(pal);
}

// ---------------------------------------------------------------- UpDown

UpDown::UpDown(Spinner& m, QWidget* parent) : QWidget(parent) {
    bind_common(this, m);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto make = [this, layout](Qt::ArrowType arrow) {
        auto* b = new QToolButton(this);
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
        return b;
    };
    QToolButton* up = make(Qt::UpArrow);
    QToolButton* down = make(Qt::DownArrow);
    QObject::connect(up, &QToolButton::clicked, this, [&m] { m.user_up(); });
    QObject::connect(down, &QToolButton::clicked, this, [&m] { m.user_down(); });
    setFixedSize(16, 22);
}

} // namespace trx::ui::qt
