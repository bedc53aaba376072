#pragma once

#include "ui/controls.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trx::ui {

// What a picture box shows, in its own twips: the background, the drawn lines in drawing
// order, then its fixed line and filled circle when they are visible.
struct PictureScene {
    struct Dot {
        double left = 0;
        double top = 0;
        double width = 0;
        double height = 0;
        std::uint32_t rgb = 0;
    };
    double width = 0;
    double height = 0;
    std::uint32_t background = 0;
    std::vector<Segment> lines;
    std::optional<Segment> line;
    std::optional<Dot> dot;
};

inline PictureScene scene_of(const Picture& picture, const Line& line, const Shape& dot) {
    PictureScene s{
        picture.width(), picture.height(), picture.background(), picture.lines(), {}, {}};
    if (line.visible()) {
        s.line = line.segment();
    }
    if (dot.visible()) {
        s.dot = PictureScene::Dot{dot.left(), dot.top(), dot.width(), dot.height(), dot.rgb()};
    }
    return s;
}

// Draws a scene as an image file, at the size in pixels it has on the screen.
class PictureRenderer {
public:
    PictureRenderer() = default;
    PictureRenderer(const PictureRenderer&) = delete;
    PictureRenderer& operator=(const PictureRenderer&) = delete;
    PictureRenderer(PictureRenderer&&) = delete;
    PictureRenderer& operator=(PictureRenderer&&) = delete;
    virtual ~PictureRenderer() = default;
    // The PNG file's bytes; none when the image could not be made.
    [[nodiscard]] virtual std::optional<std::string> png(const PictureScene& scene) = 0;
};

} // namespace trx::ui
