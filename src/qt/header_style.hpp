#pragma once

#include <QProxyStyle>

namespace trx::ui::qt {

// The style of a grid's headings: the application's, but the text may use the whole width of
// its section. The grids' narrow twips columns ("1000" in the 450-twip row numbers, "flag" in
// its 400-twip column) would otherwise lose their last characters to the style's margins.
class HeaderStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

} // namespace trx::ui::qt
