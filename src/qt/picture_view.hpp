#pragma once

#include "qt/throttle.hpp"
#include "ui/controls.hpp"
#include "ui/picture_renderer.hpp"
#include "ui/plan_extras.hpp"

#include <QLineF>
#include <QPainter>
#include <QWidget>

namespace trx::ui::qt {

// Maps a segment in the picture's twips onto a widget of `pixels` size.
QLineF to_pixels(const Segment& s, QSizeF twips, QSizeF pixels);

// Paints a picture's scene onto `pixels` of a painter: on the screen and into an image alike.
void paint_scene(QPainter& painter, const PictureScene& scene, QSizeF pixels);
// The same with the extras the user asked for: behind, over and around the scene, zoomed
// about its centre.
void paint_scene(QPainter& painter, const PictureScene& scene, const PlanDrawing& extras,
                 QSizeF pixels);

// The scan picture: background, the drawn rays, the zero line and the scanner dot, scaled
// from twips to the widget. A burst of model changes repaints at most ~30 times a second.
class PictureView : public QWidget {
public:
    PictureView(Picture& picture, Line& line, Shape& dot, QWidget* parent);
    // Offers the extras' context menu and wheel; without, the picture has neither.
    void set_extras(PlanExtras& extras);

    static constexpr int k_min_interval_ms = 33;
    // Repaints asked of Qt so far (each coalescing any number of model changes).
    [[nodiscard]] int repaints() const { return repaints_; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void repaint_now();

    const Picture& picture_;
    const Line& line_;
    const Shape& dot_;
    PlanExtras* extras_ = nullptr;
    Throttle throttle_;
    int repaints_ = 0;
};

} // namespace trx::ui::qt
