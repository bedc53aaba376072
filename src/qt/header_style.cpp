#include "qt/header_style.hpp"

namespace trx::ui::qt {

int HeaderStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    if (metric == PM_HeaderMargin) {
        return 0;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

} // namespace trx::ui::qt
