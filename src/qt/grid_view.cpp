#include "qt/grid_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"
#include "qt/header_style.hpp"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
#include <array>
#include <utility>

namespace trx::ui::qt {

// ---------------------------------------------------------------- GridModel

GridModel::GridModel(const Grid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.rows() - 1;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.cols() - 1;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const int col = index.column() + 1;
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(grid_.cell(index.row() + 1, col));
    }
    if (role == Qt::TextAlignmentRole) {
        const bool centre = grid_.col_align(col) == Grid::Align::center_top;
        return QVariant::fromValue((centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    }
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const {
    const bool across = o == Qt::Horizontal;
    if (role == Qt::DisplayRole) {
        const std::string& text = across ? grid_.cell(0, section + 1) : grid_.cell(section + 1, 0);
        return QString::fromStdString(text);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
    }
    return {};
}

void GridModel::refresh() {
    ++refreshes_;
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    tell_changed_headers(Qt::Horizontal, shown_col_headers_);
    tell_changed_headers(Qt::Vertical, shown_row_headers_);
}

void GridModel::tell_changed_headers(Qt::Orientation o, std::vector<std::string>& shown) {
    const bool across = o == Qt::Horizontal;
    const int count = across ? columnCount() : rowCount();
    const auto text = [&](int section) -> const std::string& {
        return across ? grid_.cell(0, section + 1) : grid_.cell(section + 1, 0);
    };
    int first = -1;
    int last = -1;
    if (static_cast<int>(shown.size()) != count) {
        shown.assign(static_cast<std::size_t>(count), {});
        first = 0;
        last = count - 1;
    }
    for (int i = 0; i < count; ++i) {
        std::string& before = shown[static_cast<std::size_t>(i)];
        if (before != text(i)) {
            before = text(i);
            first = first < 0 ? i : first;
            last = i;
        }
    }
    if (first >= 0) {
        emit headerDataChanged(o, first, last);
    }
}

// ---------------------------------------------------------------- GridView

GridView::GridView(Grid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(new GridModel(grid, this)),
      throttle_(
          k_min_interval_ms, [this] { refresh(); }, this) {
    bind_common(this, grid);
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    // Reached by Tab and by a click, and Tab leaves it again instead of walking its cells.
    setFocusPolicy(Qt::StrongFocus);
    setTabKeyNavigation(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCornerButtonEnabled(false);

    auto* header_style = new HeaderStyle;
    header_style->setParent(this);
    for (QHeaderView* h : {horizontalHeader(), verticalHeader()}) {
        h->setSectionResizeMode(QHeaderView::Fixed);
        h->setHighlightSections(false);
        h->setStyle(header_style);
    }
    horizontalHeader()->setStretchLastSection(false);
    apply_row_height();

    follow(this, grid.changed, [this] { schedule_refresh(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { grid_.user_scroll(value + 1); });
    refresh();
}

// Qt derives row heights from the font; the grid keeps its own, whatever the font.
void GridView::apply_row_height() {
    const int row_px = twips_y(k_row_twips, this);
    verticalHeader()->setMinimumSectionSize(std::min(row_px, 8));
    verticalHeader()->setDefaultSectionSize(row_px);
    horizontalHeader()->setFixedHeight(row_px);
}

void GridView::changeEvent(QEvent* e) {
    QTableView::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        apply_row_height();
    }
}

// The keys scroll the table as its scroll bar would; there is no current cell to move.
void GridView::keyPressEvent(QKeyEvent* e) {
    using Slider = QAbstractSlider;
    static constexpr std::array<std::pair<int, Slider::SliderAction>, 6> k_keys{{
        {Qt::Key_Up, Slider::SliderSingleStepSub},
        {Qt::Key_Down, Slider::SliderSingleStepAdd},
        {Qt::Key_PageUp, Slider::SliderPageStepSub},
        {Qt::Key_PageDown, Slider::SliderPageStepAdd},
        {Qt::Key_Home, Slider::SliderToMinimum},
        {Qt::Key_End, Slider::SliderToMaximum},
    }};
    const auto* it = std::find_if(k_keys.begin(), k_keys.end(),
                                  [e](const auto& k) { return k.first == e->key(); });
    if (it == k_keys.end()) {
        e->ignore(); // no cell is ever current or edited
        return;
    }
    verticalScrollBar()->triggerAction(it->second);
    e->accept();
}

void GridView::schedule_refresh() {
    throttle_.request();
}

void GridView::refresh() {
    if (!grid_.drawing()) {
        return; // the model tells again when drawing is switched back on
    }
    verticalHeader()->setFixedWidth(twips_x(grid_.col_width(0), this));
    for (int c = 1; c < grid_.cols(); ++c) {
        horizontalHeader()->resizeSection(c - 1, twips_x(grid_.col_width(c), this));
    }
    model_->refresh();
}

} // namespace trx::ui::qt
