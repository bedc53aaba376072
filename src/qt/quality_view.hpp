#pragma once

#include "qt/grid_view.hpp"
#include "qt/window_view.hpp"
#include "quality/quality_form.hpp"
#include "ui/trend.hpp"

#include <QWidget>

namespace trx::ui::qt {

// A small trend plot drawn with QPainter: the series as a line over its time span, its title,
// the last value and the range on the left. Repainted when its model changes, which the
// window's logic does at most four times a second.
class TrendView : public QWidget {
public:
    TrendView(Trend& model, QWidget* parent);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    Trend& model_;
};

// The "Scan quality" window: window size, Reset and Export CSV above the figures, the table
// of codes with its rows tinted by read rate, and four trend plots under it.
class QualityView : public WindowView {
public:
    explicit QualityView(quality::QualityForm& form, QWidget* parent = nullptr);

    [[nodiscard]] GridView* tags() const { return tags_; }

private:
    GridView* tags_;
};

} // namespace trx::ui::qt
