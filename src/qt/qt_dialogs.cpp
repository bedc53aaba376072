#include "qt/qt_dialogs.hpp"

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

bool QtDialogs::ask_yes_no(const Message& m) {
    QMessageBox box(qt_icon(m.icon), QString::fromStdString(m.title),
                    QString::fromStdString(m.text), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    if (!m.detail.empty()) {
        box.setInformativeText(QString::fromStdString(m.detail));
    }
    return box.exec() == QMessageBox::Yes;
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

void QtDialogs::prepare(QFileDialog& dlg, const FileDialogRequest& r) {
    // The desktop's own dialogs word the entries their way ("Hexfiles"); Qt's shows the
    // description, and the patterns in the brackets behind it stay out of sight.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    dlg.setWindowTitle(QString::fromStdString(r.title));
    dlg.setNameFilter(qt_filter(r.filter));
    const QString initial = QString::fromStdString(r.initial_path);
    if (!initial.isEmpty()) {
        dlg.selectFile(initial);
    }
    QString ext = QString::fromStdString(r.default_ext);
    if (ext.startsWith('.')) {
        ext.remove(0, 1);
    }
    dlg.setDefaultSuffix(ext);
}

namespace {
// The full path chosen; empty when cancelled.
std::string ask(const FileDialogRequest& r, QFileDialog::FileMode mode,
                QFileDialog::AcceptMode accept) {
    QFileDialog dlg(QApplication::activeWindow());
    QtDialogs::prepare(dlg, r);
    dlg.setFileMode(mode);
    dlg.setAcceptMode(accept);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return {};
    }
    return dlg.selectedFiles().constFirst().toStdString();
}
} // namespace

std::string QtDialogs::open_file(const FileDialogRequest& r) {
    return ask(r, QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
}

std::string QtDialogs::save_file(const FileDialogRequest& r) {
    return ask(r, QFileDialog::AnyFile, QFileDialog::AcceptSave);
}

} // namespace trx::ui::qt
