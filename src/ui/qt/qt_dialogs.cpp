#include "ui/qt/qt_dialogs.hpp"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace trx::ui::qt {

namespace {
QMessageBox::Icon qt_icon(Icon i) {
    switch (i) {
    case Icon::critical:
        return QMessageBox::Critical;
    case Icon::warning:
        return QMessageBox::Warning;
    case Icon::information:
        return QMessageBox::Information;
    case Icon::question:
        return QMessageBox::Question;
    case Icon::none:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtDialogs::message(const Message& m) {
    QMessageBox box(qt_icon(m.icon), QString::fromStdString(m.title),
                    QString::fromStdString(m.text), QMessageBox::Ok, QApplication::activeWindow());
    if (!m.detail.empty()) {
        box.setInformativeText(QString::fromStdString(m.detail));
    }
    box.exec();
}

QString QtDialogs::qt_filter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        if (patterns == "*.*") {
            patterns = "*";
        }
        // File names on Linux are case-sensitive; offer both cases of a pattern.
        if (patterns != "*" && patterns.toLower() != patterns) {
            patterns += " " + patterns.toLower();
        }
        out << parts[i] + " (" + patterns + ")";
    }
    return out.join(";;");
}

std::string QtDialogs::open_file(const FileDialogRequest& r) {
    QFileDialog dlg(QApplication::activeWindow(), QString::fromStdString(r.title),
                    QString::fromStdString(r.initial_path), qt_filter(r.filter));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    QString ext = QString::fromStdString(r.default_ext);
    if (ext.startsWith('.')) {
        ext.remove(0, 1);
    }
    dlg.setDefaultSuffix(ext);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return {};
    }
    return dlg.selectedFiles().constFirst().toStdString();
}

std::string QtDialogs::save_file(const FileDialogRequest& r) {
    QFileDialog dlg(QApplication::activeWindow(), QString::fromStdString(r.title),
                    QString::fromStdString(r.initial_path), qt_filter(r.filter));
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    if (!r.initial_path.empty()) {
        dlg.selectFile(QString::fromStdString(r.initial_path));
    }
    QString ext = QString::fromStdString(r.default_ext);
    if (ext.startsWith('.')) {
        ext.remove(0, 1);
    }
    dlg.setDefaultSuffix(ext);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return {};
    }
    return dlg.selectedFiles().constFirst().toStdString();
}

} // namespace trx::ui::qt
