#pragma once

#include "ui/question.hpp"
#include "ui/services.hpp"

#include <QString>

class QFileDialog;

#include <string>

namespace trx::ui::qt {

// Message boxes and the file dialog, modal over the active window.
class QtDialogs : public Dialogs, public Questions {
public:
    void message(const Message& m) override;
    bool ask_yes_no(const Message& m) override;
    std::string open_file(const FileDialogRequest& r) override;
    std::string save_file(const FileDialogRequest& r) override;
    // "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*" in Qt's form: each entry its description
    // and, in brackets, the patterns Qt matches with.
    static QString qt_filter(const std::string& filter);
    // Title, filter, folder and default extension of a request, on Qt's own dialog, which
    // shows each filter entry by its description alone, as the request words it.
    static void prepare(QFileDialog& dlg, const FileDialogRequest& r);
};

} // namespace trx::ui::qt
