#include "qt/quality_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace trx::ui::qt {

namespace {

constexpr double k_client_width = 7800;
constexpr double k_client_height = 9000;

// Paints each row of the table on its read rate's tint.
class TintDelegate : public QStyledItemDelegate {
public:
    TintDelegate(const TagTable& table, QObject* parent)
        : QStyledItemDelegate(parent), table_(table) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const int row = index.row() + 1; // the model's rows start below the header row
        const std::uint32_t tint = table_.row_tint(row);
        if (tint != TagTable::k_no_tint) {
            option->backgroundBrush = QBrush(qcolor(tint));
        }
        if (row == table_.picked_row()) {
            option->font.setBold(true);
        }
    }

private:
    const TagTable& table_;
};

QString number(double v) {
    // Our own decimal comma, as the window's other figures.
    const long long scaled = std::llround(v * 10);
    const long long whole = std::llabs(scaled) / 10;
    return QString("%1%2,%3").arg(scaled < 0 ? "-" : "").arg(whole).arg(std::llabs(scaled) % 10);
}

} // namespace

TrendView::TrendView(Trend& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QString::fromStdString(model.name()));
    setMinimumSize(twips_x(1800, parent), twips_y(1100, parent));
    follow(this, model.changed, [this] { update(); });
}

QSize TrendView::sizeHint() const {
    return {twips_x(3600, parentWidget()), twips_y(1500, parentWidget())};
}

void TrendView::paintEvent(QPaintEvent* /*e*/) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const auto& samples = model_.samples();
    const int text_h = fontMetrics().height();
    QString title = QString::fromStdString(model_.title());
    if (!samples.empty()) {
        title += "  " + number(samples.back().value) + " " + QString::fromStdString(model_.unit());
    }
    p.setPen(palette().text().color());
    p.drawText(QRect(4, 2, width() - 8, text_h), Qt::AlignLeft | Qt::AlignVCenter, title);
    const QRectF plot(4 + fontMetrics().horizontalAdvance("0000,0") + 4, text_h + 6,
                      width() - 12 - fontMetrics().horizontalAdvance("0000,0"),
                      height() - text_h - 12);
    if (samples.empty() || plot.width() < 4 || plot.height() < 4) {
        return;
    }
    double low = samples.front().value;
    double high = low;
    for (const TrendSample& s : samples) {
        low = std::min(low, s.value);
        high = std::max(high, s.value);
    }
    if (const auto& range = model_.range()) {
        low = range->first;
        high = range->second;
    }
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    p.setPen(palette().mid().color());
    p.drawText(QRectF(0, plot.top() - text_h / 2.0, plot.left() - 4, text_h),
               Qt::AlignRight | Qt::AlignVCenter, number(high));
    p.drawText(QRectF(0, plot.bottom() - text_h / 2.0, plot.left() - 4, text_h),
               Qt::AlignRight | Qt::AlignVCenter, number(low));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    const double t0 = samples.front().t_s;
    const double span = std::max(1.0, samples.back().t_s - t0);
    QPainterPath path;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = plot.left() + (samples[i].t_s - t0) / span * plot.width();
        const double y = plot.bottom() - (samples[i].value - low) / (high - low) * plot.height();
        if (i == 0) {
            path.moveTo(x, y);
        } else {
            path.lineTo(x, y);
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 90, 200), 1.5));
    p.drawPath(path);
}

QualityView::QualityView(quality::QualityForm& form, QWidget* parent)
    : WindowView(form.window, parent), tags_(new GridView(form.tags, this)) {
    set_client_twips(k_client_width, k_client_height);
    setObjectName("quality");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(make_label(form.window_size_text, this));
    top->addWidget(make_combo(form.window_size, this));
    top->addStretch(1);
    top->addWidget(make_button(form.cmd_reset, this));
    top->addWidget(make_button(form.cmd_export, this));
    layout->addLayout(top);
    for (Label* l : {&form.turns, &form.note, &form.turn_rate, &form.temperature, &form.stripes,
                     &form.status_bits}) {
        QLabel* label = make_label(*l, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // A new figure repaints the label, not the layout of the whole window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        label->setFixedHeight(label->fontMetrics().height() + 2);
        layout->addWidget(label);
    }
    tags_->setItemDelegate(new TintDelegate(form.tags, tags_));
    QObject::connect(tags_, &QTableView::clicked, tags_,
                     [&form](const QModelIndex& i) { form.tags.user_pick_row(i.row() + 1); });
    QObject::connect(tags_->verticalHeader(), &QHeaderView::sectionClicked, tags_,
                     [&form](int section) { form.tags.user_pick_row(section + 1); });
    layout->addWidget(tags_, 1);
    auto* plots = new QGridLayout;
    plots->addWidget(new TrendView(form.trend_rate, this), 0, 0);
    plots->addWidget(new TrendView(form.trend_temperature, this), 0, 1);
    plots->addWidget(new TrendView(form.trend_stripes, this), 1, 0);
    plots->addWidget(new TrendView(form.trend_read_rate, this), 1, 1);
    layout->addLayout(plots);
}

} // namespace trx::ui::qt
