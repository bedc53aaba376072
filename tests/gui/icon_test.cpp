// The program's icon: the SVG text and the drawn picture show the same shapes.
#include "qt/logo.hpp"

#include <QColor>
#include <QRegularExpression>
#include <QString>
#include <QTransform>

#include <gtest/gtest.h>

namespace trx::ui::qt {
namespace {

constexpr int k_side = 256;

QColor at(const QImage& image, QPointF p) {
    return image.pixelColor(static_cast<int>(p.x()), static_cast<int>(p.y()));
}

TEST(Icon, TheSvgPlacesEveryTagWhereThePainterDrawsIt) {
    const QImage png = draw_icon(k_side);
    const QString svg = QString::fromStdString(icon_svg(k_side));
    ASSERT_EQ(png.size(), QSize(k_side, k_side));
    EXPECT_EQ(png.pixelColor(0, 0).alpha(), 0); // transparent ground
    EXPECT_EQ(at(png, {128, 128}), QColor(255, 214, 0));

    // Each rect's centre and a point along its long side, through the SVG's own transform,
    // fall on the tag's ink in the picture.
    const QRegularExpression rect(
        R"re(<rect x="([-\d.]+)" y="([-\d.]+)" width="([\d.]+)" height="([\d.]+)" )re"
        R"re(transform="translate\(([\d.]+) ([\d.]+)\) rotate\(([\d.]+)\)"/>)re");
    int tags = 0;
    for (auto it = rect.globalMatch(svg); it.hasNext(); ++tags) {
        const auto m = it.next();
        QTransform t;
        t.translate(m.captured(5).toDouble(), m.captured(6).toDouble());
        t.rotate(m.captured(7).toDouble());
        const double along = m.captured(3).toDouble() * 0.4;
        for (const QPointF p : {t.map(QPointF(0, 0)), t.map(QPointF(along, 0))}) {
            EXPECT_EQ(at(png, p), QColor(24, 52, 96)) << tags << ": " << p.x() << "," << p.y();
        }
    }
    EXPECT_EQ(tags, 5);
    EXPECT_TRUE(svg.contains(R"(viewBox="0 0 256 256")"));
}

} // namespace
} // namespace trx::ui::qt
