#include "para/para_send.hpp"

#include "base/numtext.hpp"
#include "link/frame.hpp"
#include "para/notice.hpp"

#include <cstdint>
#include <string>

namespace trx::para {

namespace {

constexpr std::uint64_t k_max_serial = 0xFFFFFFFFU;
constexpr std::uint32_t k_no_selection = 0xFFFF;

// The last three characters read as a hex number: "0x7FF" gives 0x7FF, "" and "0x" give 0.
std::uint32_t can_identifier(const std::string& text) {
    const std::size_t from = text.size() > 3 ? text.size() - 3 : 0;
    return link::read_hex(std::string_view(text).substr(from));
}

} // namespace

void send_hex_field(link::FrameWriter& writer, std::string_view hex) {
    std::string field(hex);
    if (field.size() < 4) {
        field.insert(0, 4 - field.size(), '0');
    }
    writer.add(std::string_view(field).substr(0, 4));
}

ParaSend::ParaSend(ParaForm& form, const ParaRead& read, Shared& shared, link::FrameWriter& writer,
                   link::Receiver& receiver, ui::Dialogs& dialogs)
    : form_(form), read_(read), shared_(shared), writer_(writer), dialogs_(dialogs) {
    connections_ += form_.cmd_send_para.click.connect([this] { send_click(); });
    receiver.on_frame('P', [this](const link::ReceivedFrame& f) { on_saved(f); });
}

void ParaSend::send_click() {
    form_.statusbar.set_simple_text("Status:");
    // The fields may still hold the set of the scanner connected before this one.
    if (read_.version_field() && !shared_.reply_since_link_up) {
        refuse(dialogs_, "The parameters of this laserscanner have not been read since it was "
                         "connected. Nothing was stored.");
        return;
    }
    const auto set = set_from_window();
    if (!set) {
        return;
    }
    if (before_store_ && !before_store_()) {
        return;
    }
    if (!writer_.start('W')) {
        refuse(dialogs_, "The COM-Port is not open. Nothing was stored.");
        return;
    }
    for (const std::string& field : link::para_fields(*set, form_.typ.caption() == "YA")) {
        send_hex_field(writer_, field);
    }
    if (!writer_.finish()) {
        refuse(dialogs_, "The COM-Port did not take the parameters. Nothing was stored.");
        return;
    }
    sent.raise(*set);
}

std::optional<link::ParaSet> ParaSend::set_from_window() const {
    // The version goes back as the scanner sent it, so a store never changes it.
    const auto version = read_.version_field();
    if (!version) {
        refuse(dialogs_, "No parameters have been read from the laserscanner yet. "
                         "Nothing was stored.");
        return std::nullopt;
    }
    const auto serial = num::parse_whole(form_.seriennummer.text());
    if (!serial || *serial > k_max_serial) {
        refuse(dialogs_, "Serial No. must be a whole number from 0 to 4294967295. "
                         "Nothing was stored.");
        return std::nullopt;
    }
    link::ParaSet s;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        link::set_field_value(s, f, window_value(f));
    }
    s.serial_number = static_cast<std::uint32_t>(*serial);
    s.version = *version;
    return s;
}

// Numbers come from the spinners, not the boxes: a typed value that was never accepted into
// its spinner is not sent.
std::uint32_t ParaSend::window_value(const link::ParaFieldDef& f) const {
    using D = link::ParaDisplay;
    switch (f.display) {
    case D::serial:
    case D::version:
        return 0; // from the checks above
    case D::tenths:
    case D::whole:
        return static_cast<std::uint32_t>(form_.spinner(f).value());
    case D::list: {
        const int p = form_.window.get<ui::ComboBox>(f.control).selected();
        return p < 0 ? k_no_selection : static_cast<std::uint32_t>(p);
    }
    case D::code: // list position + 1; no selection gives 0
        return static_cast<std::uint32_t>(form_.window.get<ui::ComboBox>(f.control).selected() + 1);
    case D::bit:
        return form_.window.get<ui::CheckBox>(f.control).checked() ? 1U : 0U;
    case D::can_id:
        return can_identifier(form_.can_identifier.text());
    }
    return 0;
}

void ParaSend::on_saved(const link::ReceivedFrame& /*frame*/) {
    form_.statusbar.set_simple_text("Status:   Parameters saved");
    shared_.parameter_set_valid = true;
    acknowledged.raise();
}

} // namespace trx::para
