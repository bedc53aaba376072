#include "qt/qt_picture_renderer.hpp"

#include "qt/picture_view.hpp"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <cmath>

namespace trx::ui::qt {

namespace {

constexpr double k_twips_per_inch = 1440;
constexpr double k_inches_per_metre = 39.3700787;

// Pixels as the views count them (see twips_x), times the screen's device pixel ratio.
int device_pixels(double twips, double dpi, double ratio) {
    const int logical = static_cast<int>(twips * dpi / k_twips_per_inch + 0.5);
    return static_cast<int>(std::lround(logical * ratio));
}

} // namespace

std::optional<std::string> QtPictureRenderer::png(const PictureScene& scene) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi_x = screen != nullptr ? screen->logicalDotsPerInchX() : 96;
    const double dpi_y = screen != nullptr ? screen->logicalDotsPerInchY() : 96;
    const double ratio = screen != nullptr ? screen->devicePixelRatio() : 1;
    const QSize size(device_pixels(scene.width, dpi_x, ratio),
                     device_pixels(scene.height, dpi_y, ratio));
    if (size.isEmpty()) {
        return std::nullopt;
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.setDotsPerMeterX(static_cast<int>(std::lround(dpi_x * ratio * k_inches_per_metre)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(dpi_y * ratio * k_inches_per_metre)));
    // Painted in the screen's logical pixels, so lines have the width they have there.
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        paint_scene(painter, scene, QSizeF(size) / ratio);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

} // namespace trx::ui::qt
