#include "qt/path_label.hpp"

#include "qt/bind.hpp"
#include "qt/follow.hpp"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace trx::ui::qt {

PathLabel::PathLabel(Label& m, QWidget* parent) : QLabel(parent) {
    bind_common(this, m);
    // After bind_common's own refresh, which sets the model's (empty) tooltip.
    auto refresh = [this, &m] {
        const QString path = QString::fromStdString(m.caption());
        setText(path);
        setToolTip(m.tooltip().empty() ? path : QString::fromStdString(m.tooltip()));
    };
    follow(this, m.changed, refresh);
    refresh();
}

QRect PathLabel::text_rect() const {
    const int indent = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    return contentsRect().adjusted(indent, 0, -indent, 0);
}

// The folders give way first: the file name at the end stays whole as long as it fits.
QString PathLabel::shown_text() const {
    const QFontMetrics fm = fontMetrics();
    const QString path = text();
    const int width = text_rect().width();
    if (fm.horizontalAdvance(path) <= width) {
        return path;
    }
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    const QString name = path.mid(cut);
    const int folders_width = width - fm.horizontalAdvance(name);
    if (cut == 0 || folders_width < fm.horizontalAdvance(QStringLiteral("/\u2026/"))) {
        return fm.elidedText(path, Qt::ElideMiddle, width);
    }
    return fm.elidedText(path.left(cut), Qt::ElideMiddle, folders_width) + name;
}

void PathLabel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e); // the border; the text is painted here, elided
    QPainter p(this);
    style()->drawItemText(&p, text_rect(), Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                          shown_text(), foregroundRole());
}

} // namespace trx::ui::qt
