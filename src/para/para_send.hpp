#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/frame_writer.hpp"
#include "link/para_frame.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "para/para_read.hpp"
#include "ui/services.hpp"

#include <optional>
#include <string_view>

namespace trx::para {

// Adds one four-character field to the frame being written: left-padded with "0" to four
// characters, then its first four characters.
void send_hex_field(link::FrameWriter& writer, std::string_view hex);

// Stores the window's parameter set in the scanner ("W") and takes its acknowledgement ("P").
class ParaSend {
public:
    ParaSend(ParaForm& form, const ParaRead& read, Shared& shared, link::FrameWriter& writer,
             link::Receiver& receiver, ui::Dialogs& dialogs);

    void send_click();
    void on_saved(const link::ReceivedFrame& frame);

    // The set as the window holds it; nullopt (after saying why) when it cannot be stored.
    [[nodiscard]] std::optional<link::ParaSet> set_from_window() const;

private:
    [[nodiscard]] std::uint32_t window_value(const link::ParaFieldSpec& f) const;

    ParaForm& form_;
    const ParaRead& read_;
    Shared& shared_;
    link::FrameWriter& writer_;
    ui::Dialogs& dialogs_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
