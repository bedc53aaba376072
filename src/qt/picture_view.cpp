#include "qt/picture_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

namespace trx::ui::qt {

QLineF to_pixels(const Segment& s, QSizeF twips, QSizeF pixels) {
    const double sx = pixels.width() / twips.width();
    const double sy = pixels.height() / twips.height();
    return {s.x1 * sx, s.y1 * sy, s.x2 * sx, s.y2 * sy};
}

PictureView::PictureView(Picture& picture, Line& line, Shape& dot, QWidget* parent)
    : QWidget(parent), picture_(picture), line_(line), dot_(dot),
      throttle_(
          k_min_interval_ms, [this] { repaint_now(); }, this) {
    bind_common(this, picture);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto changed = [this] { throttle_.request(); };
    follow(this, picture.changed, changed);
    follow(this, line.changed, changed);
    follow(this, dot.changed, changed);
}

void PictureView::repaint_now() {
    ++repaints_;
    update();
}

void PictureView::paintEvent(QPaintEvent* /*e*/) {
    QPainter painter(this);
    paint_scene(painter, scene_of(picture_, line_, dot_), QSizeF(size()));
}

void paint_scene(QPainter& painter, const PictureScene& scene, QSizeF pixels) {
    painter.fillRect(QRectF(QPointF(0, 0), pixels), qcolor(scene.background));
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF twips(scene.width, scene.height);
    for (const auto& s : scene.lines) {
        painter.setPen(QPen(qcolor(s.rgb), 1));
        painter.drawLine(to_pixels(s, twips, pixels));
    }
    if (scene.line) {
        painter.setPen(QPen(qcolor(scene.line->rgb), 1));
        painter.drawLine(to_pixels(*scene.line, twips, pixels));
    }
    if (scene.dot) {
        const auto& d = *scene.dot;
        const QLineF box =
            to_pixels({d.left, d.top, d.left + d.width, d.top + d.height, 0}, twips, pixels);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(qcolor(d.rgb));
        painter.drawEllipse(QRectF(box.p1(), box.p2()));
    }
}

} // namespace trx::ui::qt
