#include "ui/trend.hpp"

namespace trx::ui {

Trend::Trend(Window& w, std::string name, std::string title, std::string unit)
    : Control(w, std::move(name)), title_(std::move(title)), unit_(std::move(unit)) {}

void Trend::set_title(std::string t) {
    if (t != title_) {
        title_ = std::move(t);
        notify();
    }
}

void Trend::set_samples(std::vector<TrendSample> s) {
    samples_ = std::move(s);
    notify();
}

TagTable::TagTable(Window& w, std::string name, int rows, int cols, int visible_rows)
    : Grid(w, std::move(name), rows, cols, visible_rows),
      tints_(static_cast<std::size_t>(rows), k_no_tint) {}

std::uint32_t TagTable::row_tint(int row) const {
    if (row < 0 || row >= rows()) {
        return k_no_tint;
    }
    return tints_[static_cast<std::size_t>(row)];
}

void TagTable::set_row_tint(int row, std::uint32_t rgb) {
    if (row < 0 || row >= rows() || tints_[static_cast<std::size_t>(row)] == rgb) {
        return;
    }
    tints_[static_cast<std::size_t>(row)] = rgb;
    if (drawing()) {
        notify();
    }
}

void TagTable::set_picked_row(int row) {
    if (row != picked_) {
        picked_ = row;
        notify();
    }
}

void TagTable::user_pick_row(int row) {
    if (!reachable() || row < 1 || row >= rows()) {
        return;
    }
    set_picked_row(row);
    picked.raise();
}

} // namespace trx::ui
