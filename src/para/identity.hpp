#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/defs.hpp"
#include "link/receiver.hpp"
#include "ui/services.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace trx::para {

// Who the connected scanner is: the serial number box and its length rule, the index with its
// "Read" and "Write" buttons and the "L" and "I" replies, and the window's Close button.
class Identity {
public:
    static constexpr std::size_t k_serial_chars = 8;

    Identity(ParaForm& form, link::Defs& defs, link::Receiver& receiver, ui::Dialogs& dialogs);

    // A serial number from the scanner is shown in full, even with 9 or 10 digits: cutting
    // it would make the next parameter store write a serial number nobody entered.
    void show_received_serial(std::uint32_t serial);

    void close_click();
    void read_index_click();
    void write_index_click();
    void on_index_reply(const link::ReceivedFrame& frame);
    void on_index_saved(const link::ReceivedFrame& frame);

    // For the service history: an index went out whole, and the scanner's "I" that saved it.
    ui::Signal<std::uint16_t> index_sent;
    ui::Signal<> index_saved;

private:
    void apply_length_rule();

    ParaForm& form_;
    link::Defs& defs_;
    ui::Dialogs& dialogs_;
    std::string received_serial_; // exempt from the length rule while it stands unedited
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
