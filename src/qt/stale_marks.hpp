#pragma once

#include "ui/controls.hpp"

#include <QLabel>
#include <QWidget>

namespace trx::ui::qt {

// While `note` is up, the views of live data in `window` (found by their control names) are
// greyed and the note lies over `picture`, so an old scan never looks like a live one.
// Returns the note's label.
QLabel* mark_stale_views(Label& note, QWidget* window, QWidget* picture);

// Whether `w` is greyed as old now.
[[nodiscard]] bool shown_stale(const QWidget* w);

} // namespace trx::ui::qt
