#include "qt/para_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

namespace trx::ui::qt {

namespace {

// Width of a text box that shows `chars` digits.
void fit_chars(QWidget* w, int chars) {
    const int digit = w->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    w->setFixedWidth(digit * chars + 14);
}

QLabel* caption(Label& m, QWidget* parent) {
    QLabel* l = make_label(m, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QLabel* unit(Label& m, QWidget* parent) {
    QLabel* l = make_label(m, parent);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

// A display label with a single border on the window background, its text centred.
QLabel* display(Label& m, QWidget* parent, int chars) {
    QLabel* l = make_label(m, parent);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    fit_chars(l, chars);
    // As tall as the text boxes beside it, in the window's font.
    QLineEdit probe;
    probe.setFont(l->font());
    l->setFixedHeight(probe.sizeHint().height());
    return l;
}

TextBoxEdit* text_box(TextBox& m, QWidget* parent, int chars) {
    auto* e = new TextBoxEdit(m, parent);
    fit_chars(e, chars);
    return e;
}

// A numeric text box with the compact arrows of its spinner right beside it.
QWidget* numeric(TextBox& box, Spinner& spin, QWidget* parent, int chars) {
    auto* w = new QWidget(parent);
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(text_box(box, w, chars));
    row->addWidget(new UpDown(spin, w), 0, Qt::AlignVCenter);
    row->addStretch();
    return w;
}

QComboBox* combo(ComboBox& m, QWidget* parent) {
    QComboBox* c = make_combo(m, parent);
    c->setMinimumContentsLength(9);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return c;
}

// One row of a group: the caption label, right-aligned against its value, and a unit label.
void add_row(QGridLayout* grid, Label& text, QWidget* value, Label* einheit = nullptr) {
    QWidget* parent = grid->parentWidget();
    const int row = grid->rowCount();
    grid->addWidget(caption(text, parent), row, 0);
    grid->addWidget(value, row, 1);
    if (einheit != nullptr) {
        grid->addWidget(unit(*einheit, parent), row, 2);
    }
}

QGroupBox* basic_settings(para::ParaForm& f, QWidget* parent) {
    QGroupBox* g = make_frame(f.frame_basic_settings, parent);
    auto* grid = new QGridLayout(g);
    add_row(grid, f.can_identifier_text, text_box(f.can_identifier, g, 5));
    add_row(grid, f.can_baudrate_text, combo(f.can_baudrate, g), &f.can_baudrate_einheit);
    add_row(grid, f.rs232_baudrate_text, combo(f.rs232_baudrate, g), &f.rs232_baudrate_einheit);
    add_row(grid, f.speed_text, numeric(f.speed_anz, f.speed, g, 4), &f.speed_einheit);
    add_row(grid, f.aufloesung_text, combo(f.aufloesung, g), &f.aufloesung_einheit);
    grid->addWidget(make_check(f.motor_enable, g), grid->rowCount(), 0, 1, 3);
    grid->addWidget(make_check(f.enable_heater, g), grid->rowCount(), 0, 1, 3);
    grid->setColumnStretch(2, 1);
    return g;
}

QGroupBox* filter_parameters(para::ParaForm& f, QWidget* parent) {
    QGroupBox* g = make_frame(f.frame_filter_parameter, parent);
    auto* grid = new QGridLayout(g);
    for (const link::ParaField id : para::k_filter_fields) {
        const link::ParaFieldDef& field = link::para_field(id);
        add_row(grid, f.window.get<Label>(field.label_control),
                numeric(f.window.get<TextBox>(field.control), f.spinner(field), g, 3));
    }
    grid->setColumnStretch(1, 1);
    return g;
}

QGroupBox* device_info(para::ParaForm& f, QWidget* parent) {
    QGroupBox* g = make_frame(f.frame_device_info, parent);
    auto* grid = new QGridLayout(g);
    add_row(grid, f.Label1, text_box(f.seriennummer, g, 8));
    add_row(grid, f.Label11, display(f.typ, g, 8));
    add_row(grid, f.Label4, display(f.version, g, 8));
    add_row(grid, f.Label22, text_box(f.index, g, 8));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(make_button(f.command_read_index, g));
    buttons->addWidget(make_button(f.command_write_index, g));
    grid->addLayout(buttons, grid->rowCount(), 1, 1, 2);
    grid->setColumnStretch(2, 1);
    return g;
}

QGroupBox* action_group(para::ParaForm& f, QWidget* parent) {
    QGroupBox* g = make_frame(f.Frame3, parent);
    auto* column = new QVBoxLayout(g);
    column->addWidget(make_button(f.beenden, g));
    column->addWidget(make_button(f.cmd_send_para, g));
    column->addWidget(make_button(f.cmd_read_para, g));
    return g;
}

QGroupBox* file_group(para::ParaForm& f, QWidget* parent) {
    QGroupBox* g = make_frame(f.frame_parameter_file, parent);
    auto* column = new QVBoxLayout(g);
    for (Button* b : {&f.cmd_save_file, &f.cmd_load_file, &f.cmd_compare_file, &f.cmd_backups,
                      &f.cmd_history}) {
        column->addWidget(make_button(*b, g));
    }
    return g;
}

// A status bar in simple-text mode shows one text across its width.
QStatusBar* status_bar(StatusBar& m, QWidget* parent) {
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(false);
    auto* text = new QLabel(bar);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(text, 1);
    bind_common(bar, m);
    auto refresh = [text, &m] {
        text->setText(QString::fromStdString(m.simple() ? m.simple_text() : m.panel(1)));
    };
    follow(text, m.changed, refresh);
    refresh();
    return bar;
}

} // namespace

ParaView::ParaView(para::ParaForm& form, QWidget* parent) : WindowView(form.window, parent) {
    setWindowTitle(QString::fromStdString(form.window.caption()));
    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize); // shrinks when the extended group hides
    root->setContentsMargins(8, 8, 8, 2);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(basic_settings(form, this));
    left->addWidget(filter_parameters(form, this));
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(device_info(form, this));
    right->addWidget(action_group(form, this));
    right->addWidget(file_group(form, this)); // in the free space below "Action"
    right->addStretch();
    columns->addLayout(left);
    columns->addLayout(right);
    root->addLayout(columns);
    root->addWidget(status_bar(form.statusbar, this));
    adjustSize();
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

} // namespace trx::ui::qt
