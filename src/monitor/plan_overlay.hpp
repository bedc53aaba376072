#pragma once

#include "monitor/scan_picture.hpp"
#include "service/turn.hpp"
#include "ui/controls.hpp"
#include "ui/plan_extras.hpp"
#include "ui/services.hpp"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace trx::monitor {

// The keys of the scan picture's extras, as its context menu and the config file name them.
inline constexpr std::string_view k_extra_ticks = "ticks";
inline constexpr std::string_view k_extra_codes = "codes";
inline constexpr std::string_view k_extra_selected = "selected";
inline constexpr std::string_view k_extra_history = "history";
inline constexpr std::string_view k_extra_zoom = "zoom";
// The tables a picked row comes from.
inline constexpr std::string_view k_table_stripes = "data";
inline constexpr std::string_view k_table_tags = "data2";

// The context menu's items, all unchecked.
std::vector<ui::PlanExtras::Item> plan_extra_items();

// Where a point at `degrees` (counter-clockwise from straight up) and `radius` twips from the
// centre lies: the rays' geometry for angles given in degrees.
Point at_degrees(Point centre, double degrees, double radius);

// A colour `share` (0 to 1) of the way from `under` to `over`: a faint ray on the background.
std::uint32_t blend(std::uint32_t over, std::uint32_t under, double share);

// The logic of the scan picture's extras: what each checked item adds, from the turns the
// main window shows, and the choice kept in the config folder (one line, the checked keys).
// With every item off it only notes the turn's rays and leaves the picture untouched.
class PlanOverlay {
public:
    static constexpr const char* k_file_name = "plan-view";
    static constexpr std::size_t k_history_turns = 10;
    static constexpr double k_zoom_step = 1.25;
    static constexpr double k_zoom_max = 16;
    // Inside the rays' reach: the rays end a few twips short of the picture's edge.
    static constexpr double k_tick_length = 150; // twips, ending where the rays end
    static constexpr double k_angle_label_radius = 2080;
    static constexpr double k_code_label_radius = 1750;
    static constexpr std::uint32_t k_tick_colour = ui::rgb(64, 64, 64);
    static constexpr std::uint32_t k_code_colour = ui::rgb(0, 0, 160);
    static constexpr std::uint32_t k_selected_colour = ui::rgb(0, 110, 255);
    static constexpr double k_faint_share = 0.25;

    PlanOverlay(ui::PlanExtras& model, const ui::Picture& map, ui::CheckBox& check1,
                ui::Files& files);

    // A turn the main window has just shown, its rays already in the picture.
    void turn_shown(const service::Turn& turn);

private:
    struct Ray {
        std::int64_t angle = 0;
        std::int32_t code = 0;
    };

    void load();
    void save();
    void on_toggle(const std::string& key);
    void on_wheel(int notches);
    void on_pick(const std::string& table, int row);
    void rebuild();
    void add_ticks(ui::PlanDrawing& d, Point c) const;
    void add_codes(ui::PlanDrawing& d, Point c) const;
    void add_selected(ui::PlanDrawing& d, Point c) const;
    void add_history(ui::PlanDrawing& d) const;
    [[nodiscard]] bool any_checked() const;

    ui::PlanExtras& model_;
    const ui::Picture& map_;
    ui::CheckBox& check1_;
    ui::Files& files_;
    double zoom_ = 1;
    std::int64_t resolution_ = 0;  // 0: no turn seen yet
    std::vector<Ray> stripe_rays_; // the last turn's stripes, frame order
    std::vector<Ray> tag_rays_;    // its tag rows, in the tag table's order; angle < 0: none
    std::string picked_table_;
    int picked_row_ = 0;
    // The turns drawn behind and the current one, oldest overwritten first.
    std::array<std::vector<ui::Segment>, k_history_turns + 1> history_;
    std::size_t history_next_ = 0;
    std::size_t history_used_ = 0;
    ui::Connections connections_;
};

} // namespace trx::monitor
