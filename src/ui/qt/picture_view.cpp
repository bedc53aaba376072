#include "ui/qt/picture_view.hpp"

#include "ui/qt/bind.hpp"
#include "ui/qt/follow.hpp"

#include <QPainter>

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
    painter.fillRect(rect(), qcolor(picture_.background()));
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF twips(picture_.width(), picture_.height());
    const QSizeF pixels(size());
    for (const auto& s : picture_.lines()) {
        painter.setPen(QPen(qcolor(s.rgb), 1));
        painter.drawLine(to_pixels(s, twips, pixels));
    }
    if (line_.visible()) {
        painter.setPen(QPen(qcolor(line_.segment().rgb), 1));
        painter.drawLine(to_pixels(line_.segment(), twips, pixels));
    }
    if (dot_.visible()) {
        const QLineF box = to_pixels(
            {dot_.left(), dot_.top(), dot_.left() + dot_.width(), dot_.top() + dot_.height(), 0},
            twips, pixels);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(qcolor(dot_.rgb()));
        painter.drawEllipse(QRectF(box.p1(), box.p2()));
    }
}

} // namespace trx::ui::qt
