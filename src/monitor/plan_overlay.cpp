#include "monitor/plan_overlay.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace trx::monitor {

namespace {

constexpr double k_pi = k_full_turn / 2;

std::uint32_t channel(std::uint32_t rgb, int shift) {
    return (rgb >> shift) & 0xFFU;
}

} // namespace

std::vector<ui::PlanExtras::Item> plan_extra_items() {
    return {{std::string(k_extra_ticks), "Angle ticks and labels", false},
            {std::string(k_extra_codes), "Tag codes at their rays", false},
            {std::string(k_extra_selected), "Ray of the selected table row", false},
            {std::string(k_extra_history), "Last 10 turns behind the current one", false},
            {std::string(k_extra_zoom), "Zoom with the mouse wheel", false}};
}

Point at_degrees(Point centre, double degrees, double radius) {
    const double theta = degrees / 180 * k_pi;
    return {centre.x - radius * std::sin(theta), centre.y - radius * std::cos(theta)};
}

std::uint32_t blend(std::uint32_t over, std::uint32_t under, double share) {
    const double s = std::clamp(share, 0.0, 1.0);
    std::uint32_t out = 0;
    for (const int shift : {16, 8, 0}) {
        const double v = channel(over, shift) * s + channel(under, shift) * (1 - s);
        out |= static_cast<std::uint32_t>(std::lround(v)) << shift;
    }
    return out;
}

PlanOverlay::PlanOverlay(ui::PlanExtras& model, const ui::Picture& map, ui::CheckBox& check1,
                         ui::Files& files)
    : model_(model), map_(map), check1_(check1), files_(files) {
    connections_ += model_.toggled.connect([this](const std::string& key) { on_toggle(key); });
    connections_ += model_.wheeled.connect([this](int notches) { on_wheel(notches); });
    connections_ +=
        model_.picked.connect([this](const std::string& table, int row) { on_pick(table, row); });
    // The filter changes which rays the picture shows, and so which ray a row stands for.
    connections_ += check1_.click.connect([this] {
        if (any_checked()) {
            rebuild();
        }
    });
    load();
}

// Unknown words are skipped: a newer program's file still gives the items this one knows.
void PlanOverlay::load() {
    const auto line = files_.read_first_line(files_.config_folder() / k_file_name);
    if (!line) {
        return;
    }
    std::istringstream words(*line);
    for (std::string w; words >> w;) {
        model_.set_checked(w, true);
    }
    rebuild();
}

// Not writable: the choice holds for this run all the same.
void PlanOverlay::save() {
    std::string line;
    for (const auto& item : model_.items()) {
        if (item.checked) {
            line += (line.empty() ? "" : " ") + item.key;
        }
    }
    (void)files_.replace_atomically(files_.config_folder() / k_file_name, line + "\n");
}

void PlanOverlay::on_toggle(const std::string& key) {
    const bool on = !model_.checked(key);
    model_.set_checked(key, on);
    if (!model_.checked(key) && on) {
        return; // not one of ours
    }
    if (key == k_extra_zoom && !on) {
        zoom_ = 1;
    }
    if (key == k_extra_history) {
        history_used_ = 0; // turns gathered from now on, not a stale run from before
    }
    save();
    rebuild();
}

void PlanOverlay::on_wheel(int notches) {
    if (!model_.checked(k_extra_zoom)) {
        return;
    }
    zoom_ = std::clamp(zoom_ * std::pow(k_zoom_step, notches), 1.0, k_zoom_max);
    rebuild();
}

void PlanOverlay::on_pick(const std::string& table, int row) {
    picked_table_ = table;
    picked_row_ = row;
    if (model_.checked(k_extra_selected)) {
        rebuild();
    }
}

// The rays are kept with every item off too (a few dozen numbers, in reused room), so an item
// switched on shows at once, also on the last turn of a closed port.
void PlanOverlay::turn_shown(const service::Turn& turn) {
    resolution_ = turn.resolution.value_or(0);
    stripe_rays_.clear();
    tag_rays_.clear();
    for (const link::Stripe& s : turn.stripes) {
        stripe_rays_.push_back({s.record.start, s.record.code});
        if (s.record.code != 0) {
            tag_rays_.push_back({s.tag_angle.value_or(-1), s.record.code});
        }
    }
    if (!any_checked()) {
        return;
    }
    if (model_.checked(k_extra_history)) {
        // The slot's room is reused: no allocation per turn once the ring is full.
        history_[history_next_].assign(map_.lines().begin(), map_.lines().end());
        history_next_ = (history_next_ + 1) % history_.size();
        history_used_ = std::min(history_used_ + 1, history_.size());
    }
    rebuild();
}

bool PlanOverlay::any_checked() const {
    return std::any_of(model_.items().begin(), model_.items().end(),
                       [](const auto& i) { return i.checked; });
}

void PlanOverlay::rebuild() {
    ui::PlanDrawing d;
    const Point c{map_.width() / 2, map_.height() / 2};
    if (model_.checked(k_extra_history)) {
        add_history(d);
    }
    if (model_.checked(k_extra_ticks)) {
        add_ticks(d, c);
    }
    if (model_.checked(k_extra_codes)) {
        add_codes(d, c);
    }
    if (model_.checked(k_extra_selected)) {
        add_selected(d, c);
    }
    d.zoom = model_.checked(k_extra_zoom) ? zoom_ : 1;
    model_.set_drawing(std::move(d));
}

void PlanOverlay::add_ticks(ui::PlanDrawing& d, Point c) const {
    for (const int deg : {0, 90, 180, 270}) {
        const Point in = at_degrees(c, deg, k_ray_length - k_tick_length);
        const Point out = at_degrees(c, deg, k_ray_length);
        d.ticks.push_back({in.x, in.y, out.x, out.y, k_tick_colour});
        const Point at = at_degrees(c, deg, k_angle_label_radius);
        d.labels.push_back({at.x, at.y, num::dec(deg) + "°", k_tick_colour});
    }
}

// The codes stand where the picture has a ray: at a stripe's start, or with the filter on at
// its tag's angle.
void PlanOverlay::add_codes(ui::PlanDrawing& d, Point c) const {
    if (resolution_ <= 0) {
        return;
    }
    const bool tags = check1_.checked();
    for (const Ray& r : tags ? tag_rays_ : stripe_rays_) {
        if (r.code == 0 || r.angle < 0) {
            continue;
        }
        const double deg = static_cast<double>(r.angle) * 360 / static_cast<double>(resolution_);
        const Point at = at_degrees(c, deg, k_code_label_radius);
        d.labels.push_back({at.x, at.y, num::dec(r.code), k_code_colour});
    }
}

// Table `data` holds two rows per stripe (its edge, then its end), `data2` one per tag.
void PlanOverlay::add_selected(ui::PlanDrawing& d, Point c) const {
    if (resolution_ <= 0 || picked_row_ < 1) {
        return;
    }
    const std::vector<Ray>* rays = nullptr;
    std::size_t index = 0;
    if (picked_table_ == k_table_stripes && !check1_.checked()) {
        rays = &stripe_rays_;
        index = static_cast<std::size_t>((picked_row_ - 1) / 2);
    } else if (picked_table_ == k_table_tags && check1_.checked()) {
        rays = &tag_rays_;
        index = static_cast<std::size_t>(picked_row_ - 1);
    }
    if (rays == nullptr || index >= rays->size() || (*rays)[index].angle < 0) {
        return;
    }
    const Point e = ray_end(c, (*rays)[index].angle, resolution_);
    d.selected = ui::Segment{c.x, c.y, e.x, e.y, k_selected_colour};
}

void PlanOverlay::add_history(ui::PlanDrawing& d) const {
    const std::uint32_t faint = blend(k_ray_colour, map_.background(), k_faint_share);
    // Oldest first; the newest slot is the current turn, which the picture draws itself.
    for (std::size_t age = history_used_; age > 1; --age) {
        const std::size_t slot = (history_next_ + history_.size() - age) % history_.size();
        for (ui::Segment s : history_[slot]) {
            s.rgb = faint;
            d.behind.push_back(s);
        }
    }
}

} // namespace trx::monitor
