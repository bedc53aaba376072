#pragma once

#include "ui/controls.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Two models of the scan quality window: a small trend plot, and a table whose rows can be
// tinted and picked.
namespace trx::ui {

struct TrendSample {
    double t_s = 0; // seconds, any origin; the plot spans first to last
    double value = 0;
};

// A series drawn as a line over time; the view scales it to its own size.
class Trend : public Control {
public:
    Trend(Window& w, std::string name, std::string title, std::string unit);
    [[nodiscard]] const std::string& title() const { return title_; }
    [[nodiscard]] const std::string& unit() const { return unit_; }
    [[nodiscard]] const std::vector<TrendSample>& samples() const { return samples_; }
    // A fixed value range (a rate from 0 to 100 %); none: from the samples.
    [[nodiscard]] const std::optional<std::pair<double, double>>& range() const { return range_; }
    void set_range(double low, double high) { range_ = std::make_pair(low, high); }
    void set_title(std::string t);
    void set_samples(std::vector<TrendSample> s);

private:
    std::string title_;
    std::string unit_;
    std::optional<std::pair<double, double>> range_;
    std::vector<TrendSample> samples_;
};

// A grid whose rows carry a background tint and of which one can be picked by a click.
class TagTable : public Grid {
public:
    static constexpr std::uint32_t k_no_tint = 0xFFFFFFFF;

    TagTable(Window& w, std::string name, int rows, int cols, int visible_rows);
    [[nodiscard]] std::uint32_t row_tint(int row) const;
    void set_row_tint(int row, std::uint32_t rgb);
    [[nodiscard]] int picked_row() const { return picked_; } // 0: none
    void set_picked_row(int row);                            // by the logic: no event
    void user_pick_row(int row);                             // a click on the row

    Signal<> picked;

private:
    std::vector<std::uint32_t> tints_;
    int picked_ = 0;
};

} // namespace trx::ui
