#pragma once

#include <QPixmap>

namespace trx::ui::qt {

// The program's logo, drawn for this tool: a scanner head sweeping its red ray over coded
// tags, beside the model name. `size` in device-independent pixels.
QPixmap draw_logo(QSize size, qreal device_pixel_ratio = 1.0);

} // namespace trx::ui::qt
