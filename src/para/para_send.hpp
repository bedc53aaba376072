#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/frame_writer.hpp"
#include "link/para_frame.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "para/para_read.hpp"
#include "ui/services.hpp"

#include <functional>
#include <optional>
#include <string_view>
#include <utility>

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
    // A settings field as a store sends it (the identity fields give 0).
    [[nodiscard]] std::uint32_t window_value(const link::ParaFieldDef& f) const;

    // Runs just before the "W" frame is written; when it returns false (having said why),
    // nothing is sent. The automatic backup of the scanner's set goes here.
    void set_before_store(std::function<bool()> hook) { before_store_ = std::move(hook); }

    // A set written to the port whole, and the scanner's "P" for a store.
    ui::Signal<const link::ParaSet&> sent;
    ui::Signal<> acknowledged;

private:
    ParaForm& form_;
    const ParaRead& read_;
    Shared& shared_;
    link::FrameWriter& writer_;
    ui::Dialogs& dialogs_;
    std::function<bool()> before_store_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
