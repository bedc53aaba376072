#pragma once

#include "link/defs.hpp"
#include "link/para_frame.hpp"
#include "link/receive.hpp"
#include "link/shared.hpp"
#include "para/identity.hpp"
#include "para/para_form.hpp"
#include "ui/services.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace trx::para {

// Hands a text that a reply wrote into a numeric box to the field rules of the window as that
// box's restore value.
using RestoreSink = std::function<void(ui::TextBox& box, const std::string& text)>;

// Reads the parameter set: the read button with its wait, and the "W" reply, which fills the
// window's fields, decides the scanner type and leaves the two flags behind.
class ParaRead {
public:
    struct Deps {
        ParaForm& form;
        ui::Frame& display_filter_frame; // the main window's share of the extended group
        Shared& shared;
        link::Defs& defs;
        link::Receiver& receiver;
        ui::Dialogs& dialogs;
        ui::EventPump& pump;
        Identity& identity;
        RestoreSink restore;
    };
    explicit ParaRead(Deps deps);

    void read_click();
    void on_reply(const link::ReceivedFrame& frame);

    // The version field (times 100) of the last reply that carried one; none before that.
    [[nodiscard]] std::optional<std::uint16_t> version_field() const { return version_; }

private:
    void show_type(link::ScannerType type);
    void show_short_set(const link::ParaReply& r);
    void show_extended_set(const link::ParaSet& s);
    void show_speed(std::uint16_t v);
    void show_filter(FilterField& f, std::uint16_t v, const char* bad_text);
    void select_baud(ui::ComboBox& list, std::uint8_t code);
    void received_text(ui::TextBox& box, const std::string& text);
    void wrong() { d_.shared.parameter_set_valid = false; }

    Deps d_;
    bool waiting_ = false;
    std::optional<std::uint16_t> version_;
};

} // namespace trx::para
