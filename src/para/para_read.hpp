#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/defs.hpp"
#include "link/para_frame.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "para/identity.hpp"
#include "para/para_window.hpp"
#include "ui/services.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace trx::para {

// Reads the parameter set: the read button with its wait, and the "W" reply, which fills the
// window's fields, decides the scanner type and leaves the two flags behind.
class ParaRead {
public:
    struct Deps {
        ParaForm& form;
        ParaWindow& fields;              // the field rules the texts written here pass through
        ui::Frame& display_filter_frame; // the main window's share of the extended group
        Shared& shared;
        link::Defs& defs;
        ui::SerialPort& port;
        link::Receiver& receiver;
        ui::Dialogs& dialogs;
        ui::EventPump& pump;
        Identity& identity;
    };
    explicit ParaRead(Deps deps);

    void read_click();
    void on_reply(const link::ReceivedFrame& frame);

    // The version field (times 100) of the last reply that carried one; none before that.
    [[nodiscard]] std::optional<std::uint16_t> version_field() const { return version_; }

    // The set as the scanner last reported it; none before the first reply.
    [[nodiscard]] const std::optional<link::ParaReply>& last_reply() const { return last_; }
    // Raised at the end of every "W" reply, once the window shows it.
    ui::Signal<const link::ParaReply&> reply_shown;

    // Writes the settings the shown type holds into the window through the same rules as a
    // reply; the identity and the flags stay as they are.
    void show_settings(const link::ParaSet& set);

private:
    void show_type(link::ScannerType type);
    void show_field(const link::ParaFieldDef& f, std::uint32_t v);
    void show_number(const link::ParaFieldDef& f, std::uint32_t v);
    void select_code(const link::ParaFieldDef& f, std::uint32_t code);
    void wrong() { d_.shared.parameter_set_valid = false; }
    void show_wrong_once();

    Deps d_;
    bool waiting_ = false;
    bool wrong_box_ = false; // a "Wrong parameter" box waits to be shown or is shown
    std::optional<std::uint16_t> version_;
    std::optional<link::ParaReply> last_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
