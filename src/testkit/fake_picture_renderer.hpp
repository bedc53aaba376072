#pragma once

#include "ui/picture_renderer.hpp"

#include <optional>
#include <string>
#include <vector>

namespace trx::testkit {

// Records the scenes asked for and answers with a stand-in file: the PNG signature and a
// line naming the scene's size and line count, so a test can tell which scene was saved.
class FakePictureRenderer : public ui::PictureRenderer {
public:
    [[nodiscard]] std::optional<std::string> png(const ui::PictureScene& scene) override {
        scenes_.push_back(scene);
        if (fails_) {
            return std::nullopt;
        }
        return std::string("\x89PNG\r\n\x1a\n", 8) + "fake " +
               std::to_string(static_cast<long>(scene.width)) + "x" +
               std::to_string(static_cast<long>(scene.height)) + " " +
               std::to_string(scene.lines.size()) + " lines\n";
    }
    [[nodiscard]] const std::vector<ui::PictureScene>& scenes() const { return scenes_; }
    void set_fails(bool f) { fails_ = f; }

private:
    std::vector<ui::PictureScene> scenes_;
    bool fails_ = false;
};

} // namespace trx::testkit
