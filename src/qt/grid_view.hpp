#pragma once

#include "qt/throttle.hpp"
#include "ui/controls.hpp"

#include <QAbstractTableModel>
#include <QTableView>

#include <string>
#include <vector>

namespace trx::ui::qt {

// Table model over a Grid: the fixed row 0 gives the column headers, the fixed column 0 the
// row headers; the cells below and right of them are the table.
class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(const Grid& grid, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Any cell may have changed: tells the view once.
    void refresh();
    [[nodiscard]] int refreshes() const { return refreshes_; }

private:
    // Tells the view the headers that changed since it was last told. Qt measures the text of
    // every header section again when told of a change, so unchanged ones are left out.
    void tell_changed_headers(Qt::Orientation o, std::vector<std::string>& shown);

    const Grid& grid_;
    int refreshes_ = 0;
    std::vector<std::string> shown_col_headers_;
    std::vector<std::string> shown_row_headers_;
};

// The grid on screen. Model changes are gathered and shown in one refresh once the event
// loop runs, at most ~30 times a second under a burst; a grid with drawing switched off
// tells nothing until it is switched on again. Only the rows in view are painted. Scrolling,
// by mouse or by the arrow keys, Page Up/Down, Home and End, tells the model its new top row,
// so the row numbers follow either way.
class GridView : public QTableView {
public:
    GridView(Grid& grid, QWidget* parent);

    [[nodiscard]] GridModel& grid_model() const { return *model_; }
    // Row height of the grid: 240 twips, as the scanner's tables have always had.
    static constexpr double k_row_twips = 240;
    static constexpr int k_min_interval_ms = 33;

protected:
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void apply_row_height();
    void schedule_refresh();
    void refresh();

    Grid& grid_;
    GridModel* model_;
    Throttle throttle_;
};

} // namespace trx::ui::qt
