#pragma once

#include "ui/controls.hpp"

#include <cstdint>
#include <optional>

namespace trx::monitor {

struct Point {
    double x = 0;
    double y = 0;
};

inline constexpr double k_ray_length = 2500;     // twips
inline constexpr double k_full_turn = 6.2831853; // radians, 2 pi to seven decimals
inline constexpr std::uint32_t k_ray_colour = ui::rgb(255, 0, 0);

// Where a ray at angle a (increments of a turn of `resolution`) ends: angle 0 points up,
// angles grow counter-clockwise on the screen.
Point ray_end(Point centre, std::int64_t angle, std::int64_t resolution);

// The scan picture `map`: one red ray per stripe, or with `Check1` checked one per tag that
// has an angle. The rays are kept in the picture model, so they survive a repaint.
class ScanPicture {
public:
    ScanPicture(ui::Picture& map, const ui::CheckBox& check1) : map_(map), check1_(check1) {}

    void clear() { map_.clear(); }
    // Ray at a stripe's start angle, when the filter is off.
    void stripe_ray(std::int64_t start, std::int64_t resolution);
    // Ray at a tag row's angle, when the filter is on and the row has an angle.
    void tag_ray(const std::optional<std::int64_t>& angle, std::int64_t resolution);

private:
    void ray(std::int64_t angle, std::int64_t resolution);

    ui::Picture& map_;
    const ui::CheckBox& check1_;
};

} // namespace trx::monitor
