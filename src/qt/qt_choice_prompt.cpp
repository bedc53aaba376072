#include "qt/qt_choice_prompt.hpp"

#include <QApplication>
#include <QInputDialog>

namespace trx::ui::qt {

std::string QtChoicePrompt::choose(const std::string& title, const std::string& text,
                                   const std::vector<std::string>& items) {
    QStringList list;
    for (const auto& i : items) {
        list << QString::fromStdString(i);
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(QApplication::activeWindow(), QString::fromStdString(title),
                              QString::fromStdString(text), list, 0, false, &ok);
    return ok ? chosen.toStdString() : std::string();
}

} // namespace trx::ui::qt
