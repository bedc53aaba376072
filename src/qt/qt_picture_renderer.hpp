#pragma once

#include "ui/picture_renderer.hpp"

namespace trx::ui::qt {

// Draws the scan picture into a PNG file as the screen shows it: at the picture's size in
// pixels at the primary screen's logical resolution and device pixel ratio, painted by the
// same code as the picture on the screen.
class QtPictureRenderer final : public PictureRenderer {
public:
    [[nodiscard]] std::optional<std::string> png(const PictureScene& scene) override;
};

} // namespace trx::ui::qt
