#include "qt/logo.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

namespace trx::ui::qt {

namespace {

const QColor k_ink(24, 52, 96);
const QColor k_ray(220, 30, 30);
const QColor k_dot(255, 214, 0);

// The tags' angles on the circle the ray sweeps; the ray points at the second.
constexpr std::array<double, 5> k_tag_degrees{20, 95, 160, 230, 300};

QPointF on_circle(QPointF c, double radius, double degrees) {
    const double a = degrees * std::numbers::pi / 180;
    return {c.x() + radius * std::sin(a), c.y() - radius * std::cos(a)};
}

void paint_head(QPainter& p, const HeadShapes& h) {
    p.setPen(Qt::NoPen);
    p.setBrush(k_ink);
    for (const auto& t : h.tags) {
        p.save();
        p.translate(t.centre);
        p.rotate(t.degrees);
        p.drawRect(
            QRectF(-t.size.width() / 2, -t.size.height() / 2, t.size.width(), t.size.height()));
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(k_ink, h.ring_pen));
    p.drawEllipse(h.centre, h.ring_radius, h.ring_radius);
    p.setPen(QPen(k_ray, h.ray_pen, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(h.centre, h.ray_end);
    p.setPen(QPen(k_ink, h.dot_pen));
    p.setBrush(k_dot);
    p.drawEllipse(h.centre, h.dot_radius, h.dot_radius);
}

// Numbers in the SVG text: a dot, two decimals, whatever the locale.
std::string svg_number(double v) {
    std::array<char, 32> buf{};
    const auto r =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 2);
    return std::string(buf.data(), r.ptr);
}

std::string svg_colour(const QColor& c) {
    return c.name().toStdString();
}

} // namespace

HeadShapes head_shapes(double d) {
    HeadShapes h;
    h.centre = QPointF(d / 2, d / 2);
    const double r = d / 2 - 1;
    for (std::size_t i = 0; i < k_tag_degrees.size(); ++i) {
        h.tags[i] = {on_circle(h.centre, r * 0.86, k_tag_degrees[i]), k_tag_degrees[i],
                     QSizeF(r * 0.4, r * 0.12)};
    }
    h.ring_radius = r * 0.62;
    h.ring_pen = std::max(1.0, d / 16);
    h.ray_end = on_circle(h.centre, r * 0.8, k_tag_degrees[1]);
    h.ray_pen = std::max(1.0, d / 20);
    h.dot_radius = r * 0.2;
    h.dot_pen = std::max(1.0, d / 128);
    return h;
}

QImage draw_icon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paint_head(p, head_shapes(side));
    return image;
}

std::string icon_svg(int side) {
    const HeadShapes h = head_shapes(side);
    const auto n = svg_number;
    const std::string s = std::to_string(side);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      s + "\" height=\"" + s + "\" viewBox=\"0 0 " + s + " " + s + "\">\n";
    out += "  <g fill=\"" + svg_colour(k_ink) + "\">\n";
    for (const auto& t : h.tags) {
        out += "    <rect x=\"" + n(-t.size.width() / 2) + "\" y=\"" + n(-t.size.height() / 2) +
               "\" width=\"" + n(t.size.width()) + "\" height=\"" + n(t.size.height()) +
               "\" transform=\"translate(" + n(t.centre.x()) + " " + n(t.centre.y()) + ") rotate(" +
               n(t.degrees) + ")\"/>\n";
    }
    out += "  </g>\n";
    out += "  <circle cx=\"" + n(h.centre.x()) + "\" cy=\"" + n(h.centre.y()) + "\" r=\"" +
           n(h.ring_radius) + "\" fill=\"none\" stroke=\"" + svg_colour(k_ink) +
           "\" stroke-width=\"" + n(h.ring_pen) + "\"/>\n";
    out += "  <line x1=\"" + n(h.centre.x()) + "\" y1=\"" + n(h.centre.y()) + "\" x2=\"" +
           n(h.ray_end.x()) + "\" y2=\"" + n(h.ray_end.y()) + "\" stroke=\"" + svg_colour(k_ray) +
           "\" stroke-width=\"" + n(h.ray_pen) + "\" stroke-linecap=\"round\"/>\n";
    out += "  <circle cx=\"" + n(h.centre.x()) + "\" cy=\"" + n(h.centre.y()) + "\" r=\"" +
           n(h.dot_radius) + "\" fill=\"" + svg_colour(k_dot) + "\" stroke=\"" + svg_colour(k_ink) +
           "\" stroke-width=\"" + n(h.dot_pen) + "\"/>\n";
    out += "</svg>\n";
    return out;
}

QPixmap draw_logo(QSize size, qreal device_pixel_ratio) {
    QPixmap pm(size * device_pixel_ratio);
    pm.setDevicePixelRatio(device_pixel_ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = size.height();
    paint_head(p, head_shapes(h));

    // The lettering takes the room beside the head, smaller when the room is narrow.
    const QRectF text(h * 1.15, 0, size.width() - h * 1.15, h);
    QFont big("Sans Serif");
    big.setBold(true);
    big.setPixelSize(std::max(6, static_cast<int>(h * 0.56)));
    while (big.pixelSize() > 6 && QFontMetricsF(big).horizontalAdvance("TRX") > text.width()) {
        big.setPixelSize(big.pixelSize() - 1);
    }
    QFont small("Sans Serif");
    small.setPixelSize(std::max(5, big.pixelSize() * 5 / 9));
    p.setPen(k_ink);
    p.setFont(big);
    p.drawText(text.adjusted(0, 0, 0, -h * 0.38), Qt::AlignLeft | Qt::AlignBottom, "TRX");
    p.setFont(small);
    p.setPen(k_ray);
    p.drawText(text.adjusted(0, h * 0.62, 0, 0), Qt::AlignLeft | Qt::AlignTop, "81500");
    return pm;
}

} // namespace trx::ui::qt
