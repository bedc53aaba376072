#include "quality/quality_window.hpp"

#include "base/numtext.hpp"
#include "link/para_set.hpp"
#include "parafile/para_file.hpp"
#include "service/statistics_layout.hpp"

#include <algorithm>
#include <cmath>

namespace trx::quality {

namespace {

constexpr std::uint32_t k_red = ui::rgb(255, 190, 190);
constexpr std::uint32_t k_amber = ui::rgb(255, 225, 150);
constexpr double k_amber_below = 0.99;

// The program's decimal comma, as everywhere on its screens.
std::string comma(double v, int places) {
    std::string text = service::point_decimal(v, places);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

std::string spread_text(const char* name, const service::Spread& s, const char* unit) {
    if (!s.any) {
        return std::string(name) + ": -";
    }
    const std::string u = *unit == '\0' ? "" : " " + std::string(unit);
    return std::string(name) + ": " + comma(s.mean, 2) + u + " (" + comma(s.min, 2) + " to " +
           comma(s.max, 2) + ")";
}

std::string stamp(std::chrono::system_clock::time_point t) {
    std::string s = parafile::utc_text(t);
    std::erase_if(s, [](char c) { return c == '-' || c == ':'; });
    return s;
}

} // namespace

QualityWindow::QualityWindow(Deps deps) : d_(std::move(deps)) {
    QualityForm& f = d_.form;
    connections_ += d_.main.key.connect([this](ui::KeyPress& k) {
        const bool s = k.code == k_key || k.code == k_key + ('a' - 'A');
        if (s && k.mods == (ui::mod_ctrl | ui::mod_alt)) {
            open();
            k.handled = true;
        }
    });
    connections_ += f.window_size.changed.connect([this] { on_window_size(); });
    connections_ += f.cmd_reset.click.connect([this] { reset(); });
    connections_ += f.cmd_export.click.connect([this] { export_csv(); });
    connections_ += f.tags.picked.connect([this] {
        trend_code_ = picked_code();
        dirty_ = true;
    });
    connections_ += f.refresh_timer.tick.connect([this] {
        if (dirty_) {
            refresh();
        }
    });
    // Hidden, it costs the receive path the statistics only, no drawing.
    connections_ += f.window.changed.connect(
        [this] { d_.form.refresh_timer.set_timer_enabled(d_.form.window.shown()); });
}

void QualityWindow::open() {
    d_.form.window.show();
    refresh();
    d_.form.window.user_activate();
}

void QualityWindow::add(const service::Turn& turn) {
    scratch_ = turn; // reuses the stripes' room: no allocation per turn
    scratch_.t_ms = d_.clock.steady_now().count() / 1000;
    if (const auto type = link::scanner_type(d_.typ.caption())) {
        stats_.set_type(*type);
    }
    stats_.add(scratch_);
    dirty_ = true;
}

void QualityWindow::on_window_size() {
    const int i = d_.form.window_size.selected();
    if (i < 0 || i >= static_cast<int>(service::k_window_choices.size())) {
        return;
    }
    const int n = service::k_window_choices[static_cast<std::size_t>(i)];
    if (n != stats_.settings().window) {
        stats_.set_window(n);
        refresh();
    }
}

void QualityWindow::reset() {
    stats_.reset();
    refresh();
}

void QualityWindow::export_csv() {
    // Taken now: turns that arrive while the dialog is open do not change what is saved.
    const std::string csv = service::statistics_csv(stats_.summary());
    const auto initial = d_.data_folder / ("scan-quality-" + stamp(d_.clock.utc_now()) + ".csv");
    const std::string path = d_.dialogs.save_file(
        {"Export scan quality as CSV", "CSV files (*.csv)|*.csv", ".csv", initial.string()});
    if (path.empty()) {
        return;
    }
    if (const Result<Done> w = d_.files.replace(path, csv); !w) {
        d_.dialogs.message({"The scan quality was not saved: " + w.error().message + ".",
                            k_quality_caption, ui::Icon::warning, path});
    }
}

void QualityWindow::refresh() {
    dirty_ = false;
    ++refreshes_;
    const service::StatisticsSummary s = stats_.summary();
    show_figures(s);
    show_tags(s);
    show_trends(s);
}

void QualityWindow::show_figures(const service::StatisticsSummary& s) {
    QualityForm& f = d_.form;
    std::string turns = num::dec(s.turns) + " turns";
    if (s.partial) {
        turns += " so far of a window of " + num::dec(s.window) + ": rates over the turns seen";
    }
    if (s.resolution) {
        turns += ", resolution " + num::dec(*s.resolution);
    }
    f.turns.set_caption(turns);
    f.note.set_caption(!s.no_tags.empty() ? s.no_tags : s.restarted);
    f.turn_rate.set_caption(spread_text("Turn rate", s.turn_rate, "turns/s"));
    f.temperature.set_caption(spread_text("Temperature", s.temperature, "°C"));
    f.stripes.set_caption(spread_text("Stripes per turn", s.stripes_per_turn, ""));
    f.status_bits.set_caption("Speed OK " + comma(s.status_share[0] * 100, 1) +
                              " %, temperature low " + comma(s.status_share[1] * 100, 1) +
                              " %, heater activ " + comma(s.status_share[2] * 100, 1) + " %");
}

void QualityWindow::show_tags(const service::StatisticsSummary& s) {
    ui::TagTable& g = d_.form.tags;
    // Cells that keep their text are not touched, so most repaints change a few cells only.
    g.set_drawing(false);
    constexpr const char* k_headers[k_tag_cols] = {
        "code", "read %", "angle °", "angle", "± incr", "width", "± incr", "dup.", "last seen"};
    for (int c = 0; c < k_tag_cols; ++c) {
        g.set_cell(0, c, k_headers[c]);
    }
    const double deg = s.resolution ? 360.0 / static_cast<double>(*s.resolution) : 0;
    int row = 0;
    for (const service::TagFigures& t : s.tags) {
        ++row;
        g.set_cell(row, col_code, num::dec(t.code));
        g.set_cell(row, col_rate, comma(t.read_rate * 100, 1));
        g.set_cell(row, col_degrees, comma(t.angle_mean * deg, 2));
        g.set_cell(row, col_angle, comma(t.angle_mean, 1));
        g.set_cell(row, col_angle_sd, comma(t.angle_sd, 2));
        g.set_cell(row, col_width, comma(t.width_mean, 1));
        g.set_cell(row, col_width_sd, comma(t.width_sd, 2));
        g.set_cell(row, col_duplicates, num::dec(t.duplicates));
        g.set_cell(row, col_last_seen, num::dec(t.last_seen));
        const std::uint32_t tint =
            t.low_rate ? k_red : (t.read_rate < k_amber_below ? k_amber : ui::TagTable::k_no_tint);
        g.set_row_tint(row, tint);
    }
    for (int r = row + 1; r < std::max(g.used_rows(), row + 1); ++r) {
        for (int c = 0; c < k_tag_cols; ++c) {
            g.set_cell(r, c, "");
        }
    }
    for (int r = row + 1; r < k_tag_rows; ++r) {
        g.set_row_tint(r, ui::TagTable::k_no_tint);
    }
    // The picked code keeps its row when codes come and go.
    int picked = 0;
    for (int r = 1; r <= row; ++r) {
        if (g.cell(r, col_code) == num::dec(trend_code_)) {
            picked = r;
        }
    }
    g.set_picked_row(picked);
    g.set_drawing(true);
}

void QualityWindow::show_trends(const service::StatisticsSummary& s) {
    QualityForm& f = d_.form;
    int code = trend_code_;
    // Without a pick the trend follows the worst-read code: the one worth watching.
    if (code == 0 && !s.tags.empty()) {
        code = std::min_element(s.tags.begin(), s.tags.end(), [](const auto& a, const auto& b) {
                   return a.read_rate < b.read_rate;
               })->code;
    }
    // The points are seconds: the plots change once a second, or when another code is shown.
    std::vector<service::TrendPoint> points = stats_.trend().points(code);
    const std::int64_t newest = points.empty() ? -1 : points.back().second;
    if (points.size() > 1) {
        points.pop_back(); // the second under way: a few turns would pull its point askew
    }
    if (newest == trend_second_ && code == trend_shown_code_ && !points.empty()) {
        return;
    }
    trend_second_ = newest;
    trend_shown_code_ = code;
    std::vector<ui::TrendSample> rate;
    std::vector<ui::TrendSample> temperature;
    std::vector<ui::TrendSample> stripes;
    std::vector<ui::TrendSample> read;
    for (const service::TrendPoint& p : points) {
        const auto t = static_cast<double>(p.second);
        if (p.turn_rate) {
            rate.push_back({t, *p.turn_rate});
        }
        temperature.push_back({t, p.temperature});
        stripes.push_back({t, p.stripes});
        if (code != 0) {
            read.push_back({t, p.read_rate * 100});
        }
    }
    f.trend_rate.set_samples(std::move(rate));
    f.trend_temperature.set_samples(std::move(temperature));
    f.trend_stripes.set_samples(std::move(stripes));
    f.trend_read_rate.set_title(code == 0 ? "Read rate" : "Read rate of code " + num::dec(code));
    f.trend_read_rate.set_samples(std::move(read));
}

int QualityWindow::picked_code() const {
    const ui::TagTable& g = d_.form.tags;
    const int row = g.picked_row();
    if (row < 1) {
        return 0;
    }
    return static_cast<int>(num::leading_value(g.cell(row, col_code)));
}

} // namespace trx::quality
