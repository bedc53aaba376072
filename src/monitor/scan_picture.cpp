#include "monitor/scan_picture.hpp"

#include <cmath>

namespace trx::monitor {

Point ray_end(Point centre, std::int64_t angle, std::int64_t resolution) {
    const double theta = static_cast<double>(angle) / static_cast<double>(resolution) * k_full_turn;
    return {centre.x - k_ray_length * std::sin(theta), centre.y - k_ray_length * std::cos(theta)};
}

void ScanPicture::stripe_ray(std::int64_t start, std::int64_t resolution) {
    if (!check1_.checked()) {
        ray(start, resolution);
    }
}

void ScanPicture::tag_ray(const std::optional<std::int64_t>& angle, std::int64_t resolution) {
    if (check1_.checked() && angle) {
        ray(*angle, resolution);
    }
}

void ScanPicture::ray(std::int64_t angle, std::int64_t resolution) {
    // The centre is read each time: the picture's size is the view's to change.
    const Point c{map_.width() / 2, map_.height() / 2};
    const Point e = ray_end(c, angle, resolution);
    map_.draw_line({c.x, c.y, e.x, e.y, k_ray_colour});
}

} // namespace trx::monitor
