#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QSizeF>

#include <array>
#include <string>

namespace trx::ui::qt {

// The program's logo, drawn for this tool: a scanner head sweeping its red ray over coded
// tags, beside the model name. `size` in device-independent pixels.
QPixmap draw_logo(QSize size, qreal device_pixel_ratio = 1.0);

// The scanner head of the logo, which is also the program's icon, as plain shapes in a
// square of side d: the painter and the SVG writer draw the same picture from it.
struct HeadShapes {
    struct Tag {
        QPointF centre;
        double degrees = 0; // the tag lies across the ray at this angle
        QSizeF size;
    };
    QPointF centre;
    std::array<Tag, 5> tags{};
    double ring_radius = 0;
    double ring_pen = 1;
    QPointF ray_end;
    double ray_pen = 1;
    double dot_radius = 0;
    double dot_pen = 1;
};
HeadShapes head_shapes(double d);

// The program's icon: the head alone, `side` pixels square, on a transparent ground.
QImage draw_icon(int side);
// The same icon as SVG text.
std::string icon_svg(int side);

} // namespace trx::ui::qt
