#include "qt/picture_view.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QContextMenuEvent>
#include <QMenu>
#include <QWheelEvent>

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

void PictureView::set_extras(PlanExtras& extras) {
    extras_ = &extras;
    follow(this, extras.changed, [this] { throttle_.request(); });
    throttle_.request();
}

void PictureView::contextMenuEvent(QContextMenuEvent* e) {
    if (extras_ == nullptr) {
        QWidget::contextMenuEvent(e);
        return;
    }
    QMenu menu(this);
    for (const auto& item : extras_->items()) {
        QAction* a = menu.addAction(QString::fromStdString(item.caption));
        a->setObjectName(QString::fromStdString(item.key));
        a->setCheckable(true);
        a->setChecked(item.checked);
    }
    if (const QAction* chosen = menu.exec(e->globalPos())) {
        extras_->user_toggle(chosen->objectName().toStdString());
    }
}

void PictureView::wheelEvent(QWheelEvent* e) {
    if (extras_ == nullptr) {
        QWidget::wheelEvent(e);
        return;
    }
    // One notch is 120; touch pads send parts of one, which add up to nothing here.
    extras_->user_wheel(e->angleDelta().y() / 120);
    e->accept();
}

void PictureView::repaint_now() {
    ++repaints_;
    update();
}

void PictureView::paintEvent(QPaintEvent* /*e*/) {
    QPainter painter(this);
    if (extras_ == nullptr) {
        paint_scene(painter, scene_of(picture_, line_, dot_), QSizeF(size()));
        return;
    }
    paint_scene(painter, scene_of(picture_, line_, dot_), extras_->drawing(), QSizeF(size()));
}

namespace {

// Twips to pixels, then `zoom` about the picture's centre: positions grow, pens and texts keep
// their size on the screen.
class Mapping {
public:
    Mapping(const PictureScene& scene, QSizeF pixels, double zoom)
        : twips_(scene.width, scene.height), pixels_(pixels), zoom_(zoom),
          centre_(pixels.width() / 2, pixels.height() / 2) {}

    [[nodiscard]] QPointF point(double x, double y) const {
        const QPointF p = to_pixels({x, y, x, y, 0}, twips_, pixels_).p1();
        return zoom_ == 1 ? p : centre_ + (p - centre_) * zoom_;
    }
    [[nodiscard]] QLineF line(const Segment& s) const {
        return {point(s.x1, s.y1), point(s.x2, s.y2)};
    }

private:
    QSizeF twips_;
    QSizeF pixels_;
    double zoom_;
    QPointF centre_;
};

void paint_segments(QPainter& painter, const std::vector<Segment>& lines, const Mapping& m,
                    double width = 1) {
    for (const auto& s : lines) {
        painter.setPen(QPen(qcolor(s.rgb), width));
        painter.drawLine(m.line(s));
    }
}

void paint_contents(QPainter& painter, const PictureScene& scene, const Mapping& m) {
    paint_segments(painter, scene.lines, m);
    if (scene.line) {
        painter.setPen(QPen(qcolor(scene.line->rgb), 1));
        painter.drawLine(m.line(*scene.line));
    }
    if (scene.dot) {
        const auto& d = *scene.dot;
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(qcolor(d.rgb));
        painter.drawEllipse(
            QRectF(m.point(d.left, d.top), m.point(d.left + d.width, d.top + d.height)));
    }
}

void paint_labels(QPainter& painter, const std::vector<PlanLabel>& labels, const Mapping& m) {
    const QFontMetricsF metrics(painter.font());
    for (const auto& l : labels) {
        const QString text = QString::fromStdString(l.text);
        QRectF box(QPointF(0, 0), metrics.size(Qt::TextSingleLine, text));
        box.moveCenter(m.point(l.x, l.y));
        painter.setPen(qcolor(l.rgb));
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

} // namespace

void paint_scene(QPainter& painter, const PictureScene& scene, QSizeF pixels) {
    painter.fillRect(QRectF(QPointF(0, 0), pixels), qcolor(scene.background));
    painter.setRenderHint(QPainter::Antialiasing);
    paint_contents(painter, scene, Mapping(scene, pixels, 1));
}

void paint_scene(QPainter& painter, const PictureScene& scene, const PlanDrawing& extras,
                 QSizeF pixels) {
    painter.fillRect(QRectF(QPointF(0, 0), pixels), qcolor(scene.background));
    painter.setRenderHint(QPainter::Antialiasing);
    const Mapping m(scene, pixels, extras.zoom);
    paint_segments(painter, extras.behind, m);
    paint_contents(painter, scene, m);
    paint_segments(painter, extras.ticks, m);
    if (extras.selected) {
        constexpr double k_selected_width = 3;
        paint_segments(painter, {*extras.selected}, m, k_selected_width);
    }
    paint_labels(painter, extras.labels, m);
}

} // namespace trx::ui::qt
