#include "qt/main_view.hpp"

#include "qt/bind.hpp"
#include "qt/logo.hpp"
#include "qt/stale_marks.hpp"

#include <QGridLayout>
#include <QVBoxLayout>

namespace trx::ui::qt {

namespace {

// Layout of the main window in twips: left column (status, filter and command boxes above the
// picture), the tag tables on the right, toolbar and status bar across.
constexpr double k_margin = 120;
constexpr double k_toolbar_height = 540;
constexpr double k_status_bar_height = 420;
constexpr double k_left_width = 5175;
constexpr double k_status_top = 600;
constexpr double k_status_height = 1260;
constexpr double k_boxes_top = 1920;
constexpr double k_boxes_height = 900;
constexpr double k_box_gap = 90;
constexpr double k_filter_width = 2280;
constexpr double k_comand_width = 1500;
constexpr double k_map_top = 2880;
constexpr double k_grid_left = 5400;
constexpr double k_grid_width = 4395;
constexpr double k_grid_height = 7515;
constexpr double k_logo_height = 600;

// A value beside its caption: right-aligned in a sunken field, so an empty value still shows
// where it will appear.
void style_value(QLabel* l, const QWidget* w) {
    l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    l->setAutoFillBackground(true);
    l->setBackgroundRole(QPalette::Base);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setFixedSize(twips_x(660, w), twips_y(270, w));
    l->setContentsMargins(2, 0, 3, 0);
}

void tight(QLayout* l, const QWidget* w) {
    const int m = twips_x(90, w);
    l->setContentsMargins(m, m / 2, m, m / 2);
    l->setSpacing(twips_x(60, w));
}

} // namespace

MainView::MainView(main::MainForm& form, QWidget* parent)
    : WindowView(form.window, parent), toolbar_(new ToolbarView(form.Toolbar1, this)),
      status_bar_(new StatusBarView(form.StatusBar1, this)),
      picture_(new PictureView(form.map, form.Line1, form.laser, this)),
      data_(new GridView(form.data, this)), data2_(new GridView(form.data2, this)) {
    setWindowTitle(QString::fromStdString(form.window.caption()));
    set_client_twips(k_width, k_height);

    toolbar_->setGeometry(0, 0, width(), twips_y(k_toolbar_height, this) - 2);
    const int bar = twips_y(k_status_bar_height, this);
    status_bar_->setGeometry(0, height() - bar, width(), bar);
    place(picture_, k_margin, k_map_top, form.map.width(), form.map.height());
    place(data_, k_grid_left, k_toolbar_height, k_grid_width, k_grid_height);
    place(data2_, k_grid_left, k_toolbar_height, k_grid_width, k_grid_height);

    build_status_frame(form);
    build_hidden_frames(form);
    build_logo(form);
    mark_stale_views(form.stale_note, this, picture_);
    set_tab_order(form);
}

void MainView::set_plan_extras(PlanExtras& extras) {
    picture_->set_extras(extras);
    for (GridView* table : {data_, data2_}) {
        // The models' rows start below the header row.
        QObject::connect(table, &QTableView::clicked, picture_,
                         [&extras, name = table->objectName().toStdString()](const QModelIndex& i) {
                             extras.user_pick(name, i.row() + 1);
                         });
    }
}

// Tab follows the reading order through what a technician works: the toolbar, the filter and
// command boxes, then the table in view. Hidden and disabled controls are passed by.
void MainView::set_tab_order(main::MainForm& form) {
    QList<QWidget*> chain;
    for (const auto& item : form.Toolbar1.items()) {
        chain << toolbar_->button(item.key);
    }
    for (const ui::CheckBox* box : {&form.Check1, &form.motor_off, &form.laser_on}) {
        chain << findChild<QWidget*>(QString::fromStdString(box->name()));
    }
    chain << data_ << data2_;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i], chain[i + 1]);
    }
}

void MainView::place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(twips_x(left, this), twips_y(top, this), twips_x(width, this),
                   twips_y(height, this));
}

// "Status": the three status bits on the left, temperature and resolution on the right.
void MainView::build_status_frame(main::MainForm& form) {
    QGroupBox* frame = make_frame(form.Frame1, this);
    place(frame, k_margin, k_status_top, k_left_width, k_status_height);
    auto* grid = new QGridLayout(frame);
    tight(grid, this);
    grid->setVerticalSpacing(0);
    grid->addWidget(make_indicator(form.heater_activ, frame), 0, 0);
    grid->addWidget(make_indicator(form.temp_low, frame), 1, 0);
    grid->addWidget(make_indicator(form.speed_ok, frame), 2, 0);
    grid->setColumnStretch(0, 1);

    grid->addWidget(make_label(form.temperature_text, frame), 0, 1);
    QLabel* temperature = make_label(form.temperature, frame);
    style_value(temperature, this);
    grid->addWidget(temperature, 0, 2);
    grid->addWidget(make_label(form.temperature_einheit, frame), 0, 3);

    grid->addWidget(make_label(form.inkremente_text, frame), 1, 1);
    QLabel* inkremente = make_label(form.inkremente, frame);
    style_value(inkremente, this);
    grid->addWidget(inkremente, 1, 2);
    grid->addWidget(make_label(form.inkremente_einheit, frame), 1, 3);
    grid->setRowStretch(3, 1);
}

// "Display Filter" and "Comand" share the row above the picture with the logo; both start
// hidden.
void MainView::build_hidden_frames(main::MainForm& form) {
    QGroupBox* filter = make_frame(form.display_filter_frame, this);
    place(filter, k_margin, k_boxes_top, k_filter_width, k_boxes_height);
    auto* fl = new QVBoxLayout(filter);
    tight(fl, this);
    fl->addWidget(make_check(form.Check1, filter));
    fl->addStretch();

    QGroupBox* comand = make_frame(form.comand, this);
    place(comand, k_margin + k_filter_width + k_box_gap, k_boxes_top, k_comand_width,
          k_boxes_height);
    auto* cl = new QVBoxLayout(comand);
    tight(cl, this);
    cl->setSpacing(0);
    cl->addWidget(make_check(form.motor_off, comand));
    cl->addWidget(make_check(form.laser_on, comand));
}

// The logo at the right end of the row above the picture, level with the picture's edge.
void MainView::build_logo(main::MainForm& form) {
    auto* logo = new QLabel(this);
    bind_common(logo, form.Picture1);
    const double left = k_margin + k_filter_width + k_comand_width + 2 * k_box_gap;
    const double width = k_margin + k_left_width - left;
    place(logo, left, k_boxes_top + (k_boxes_height - k_logo_height) / 2, width - k_box_gap,
          k_logo_height);
    logo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    logo->setPixmap(draw_logo(logo->size(), devicePixelRatioF()));
}

} // namespace trx::ui::qt
