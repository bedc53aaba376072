#include "qt/qt_log.hpp"

#include <QDebug>

namespace trx::ui::qt {

namespace {

QtMsgType qt_type(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return QtDebugMsg;
    case LogLevel::info:
        return QtInfoMsg;
    case LogLevel::warning:
        return QtWarningMsg;
    }
    return QtDebugMsg;
}

} // namespace

const QLoggingCategory& QtLog::category(std::string_view name) const {
    const auto it = categories_.find(name);
    if (it != categories_.end()) {
        return *it->second;
    }
    const auto [slot, added] = categories_.emplace(std::string(name), nullptr);
    // Above every level we write: silent unless a logging rule switches the category on.
    slot->second = std::make_unique<QLoggingCategory>(slot->first.c_str(), QtCriticalMsg);
    return *slot->second;
}

bool QtLog::enabled(LogLevel level, std::string_view name) const {
    return category(name).isEnabled(qt_type(level));
}

void QtLog::write(LogLevel level, std::string_view name, std::string_view text) {
    const QLoggingCategory& c = category(name);
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    switch (level) {
    case LogLevel::debug:
        if (c.isDebugEnabled()) {
            QMessageLogger(nullptr, 0, nullptr, c.categoryName()).debug().noquote() << message;
        }
        return;
    case LogLevel::info:
        if (c.isInfoEnabled()) {
            QMessageLogger(nullptr, 0, nullptr, c.categoryName()).info().noquote() << message;
        }
        return;
    case LogLevel::warning:
        if (c.isWarningEnabled()) {
            QMessageLogger(nullptr, 0, nullptr, c.categoryName()).warning().noquote() << message;
        }
        return;
    }
}

void QtLog::enable_all() {
    QLoggingCategory::setFilterRules(QStringLiteral("trx.*=true"));
}

} // namespace trx::ui::qt
