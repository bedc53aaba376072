#pragma once

#include "forms/main_form.hpp"
#include "ui/signal.hpp"

#include <functional>
#include <string>

namespace trx::main {

// A port named at start ("trx81500 --port NAME"), opened as the technician would open it:
// the port menu is opened (so that it lists the adapters present), the entry whose caption or
// key is the name is chosen and the port button clicked; a port that will not open shows its
// box as always. It happens at Timer1's first tick, after the link supervision's first check,
// so that the link is seen coming up and the identity and parameter set are read. A network
// address ("socket://HOST:PORT", "rfc2217://HOST:PORT") is taken as from the "Network port..."
// dialog, through `window`.
class MainWindow;

class PortAtStart {
public:
    // unknown: called instead when the menu has no such entry.
    PortAtStart(MainForm& form, std::string name, std::function<void()> unknown,
                MainWindow* window = nullptr);

private:
    void open();

    MainForm& form_;
    std::string name_;
    std::function<void()> unknown_;
    MainWindow* window_;
    bool done_ = false;
    ui::Connections connections_;
};

} // namespace trx::main
