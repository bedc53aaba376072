#include "qt/qt_address_prompt.hpp"

#include <QApplication>
#include <QInputDialog>

namespace trx::ui::qt {

std::string QtAddressPrompt::ask(const std::vector<std::string>& recent) {
    QStringList items;
    for (const auto& a : recent) {
        items << QString::fromStdString(a);
    }
    if (items.isEmpty()) {
        items << QStringLiteral("rfc2217://");
    }
    bool ok = false;
    const QString text = QInputDialog::getItem(
        QApplication::activeWindow(), QStringLiteral("Network port"),
        QStringLiteral("Address of the serial device server\n"
                       "(socket://HOST:PORT for raw TCP, rfc2217://HOST:PORT for RFC 2217):"),
        items, 0, true, &ok);
    return ok ? text.toStdString() : std::string();
}

} // namespace trx::ui::qt
