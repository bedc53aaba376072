#include "ui/qt/logo.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace trx::ui::qt {

namespace {

const QColor k_ink(24, 52, 96);
const QColor k_ray(220, 30, 30);
const QColor k_dot(255, 214, 0);

// Scanner head in a square of side d at the origin: ring, tags around it, a ray to one tag.
void draw_head(QPainter& p, double d) {
    const QPointF c(d / 2, d / 2);
    const double r = d / 2 - 1;
    // Stripe-coded tags on the circle the ray sweeps.
    const std::array<double, 5> tags{20, 95, 160, 230, 300};
    p.setPen(Qt::NoPen);
    p.setBrush(k_ink);
    for (double deg : tags) {
        const double a = deg * std::numbers::pi / 180;
        const QPointF at(c.x() + r * 0.86 * std::sin(a), c.y() - r * 0.86 * std::cos(a));
        p.save();
        p.translate(at);
        p.rotate(deg);
        p.drawRect(QRectF(-r * 0.2, -r * 0.06, r * 0.4, r * 0.12));
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(k_ink, std::max(1.0, d / 16)));
    p.drawEllipse(c, r * 0.62, r * 0.62);
    const double a = tags[1] * std::numbers::pi / 180;
    p.setPen(QPen(k_ray, std::max(1.0, d / 20), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, QPointF(c.x() + r * 0.8 * std::sin(a), c.y() - r * 0.8 * std::cos(a)));
    p.setPen(QPen(k_ink, 1));
    p.setBrush(k_dot);
    p.drawEllipse(c, r * 0.2, r * 0.2);
}

} // namespace

QPixmap draw_logo(QSize size, qreal device_pixel_ratio) {
    QPixmap pm(size * device_pixel_ratio);
    pm.setDevicePixelRatio(device_pixel_ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = size.height();
    draw_head(p, h);

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
