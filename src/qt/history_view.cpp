#include "qt/history_view.hpp"

#include "qt/bind.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace trx::ui::qt {

namespace {

constexpr double k_client_width = 9600;
constexpr double k_client_height = 9000;

} // namespace

HistoryView::HistoryView(history_window::HistoryForm& form, QWidget* parent)
    : WindowView(form.window, parent) {
    set_client_twips(k_client_width, k_client_height);
    setObjectName("history");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(make_label(form.serial_text, this));
    top->addWidget(new TextBoxEdit(form.serial, this));
    top->addWidget(make_button(form.cmd_show, this));
    top->addStretch(1);
    top->addWidget(make_button(form.cmd_export, this));
    layout->addLayout(top);
    QLabel* note = make_label(form.note, this);
    note->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(note);
    layout->addWidget(new GridView(form.entries, this), 3);
    auto* compare = new QHBoxLayout;
    compare->addWidget(make_label(form.compare_text, this));
    compare->addWidget(new TextBoxEdit(form.compare_first, this));
    compare->addWidget(new TextBoxEdit(form.compare_second, this));
    compare->addWidget(make_button(form.cmd_compare, this));
    compare->addStretch(1);
    layout->addLayout(compare);
    layout->addWidget(new GridView(form.comparison, this), 2);
    auto* load = new QHBoxLayout;
    load->addWidget(make_label(form.load_text, this));
    load->addWidget(new TextBoxEdit(form.load_id, this));
    load->addWidget(make_button(form.cmd_load, this));
    load->addStretch(1);
    layout->addLayout(load);
}

} // namespace trx::ui::qt
