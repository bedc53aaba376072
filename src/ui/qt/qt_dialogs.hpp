#pragma once

#include "ui/services.hpp"

#include <QString>

#include <string>

namespace trx::ui::qt {

// Message boxes and the file dialog, modal over the active window.
class QtDialogs : public Dialogs {
public:
    void message(const Message& m) override;
    std::string open_file(const FileDialogRequest& r) override;
    std::string save_file(const FileDialogRequest& r) override;
    // "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*" in Qt's form.
    static QString qt_filter(const std::string& filter);
};

} // namespace trx::ui::qt
