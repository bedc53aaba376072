#include "para/send.hpp"

#include "link/frame.hpp"
#include "para/notice.hpp"
#include "ui/numtext.hpp"

#include <cstdint>
#include <string>

namespace trx::para {

namespace {

constexpr std::uint64_t k_max_serial = 0xFFFFFFFFU;

std::uint16_t spin(const FilterField& f) {
    return static_cast<std::uint16_t>(f.spin.value());
}

// List position + 1; no selection gives 0.
std::uint8_t baud_code(const ui::ComboBox& list) {
    return static_cast<std::uint8_t>(list.selected() + 1);
}

// The last three characters read as a hex number: "0x7FF" gives 0x7FF, "" and "0x" give 0.
std::uint16_t can_identifier(const std::string& text) {
    const std::size_t from = text.size() > 3 ? text.size() - 3 : 0;
    return static_cast<std::uint16_t>(link::read_hex(std::string_view(text).substr(from)));
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
    form_.cmd_send_para.click.connect([this] { send_click(); });
    receiver.on_frame('P', [this](const link::ReceivedFrame& f) { on_saved(f); });
}

void ParaSend::send_click() {
    form_.statusbar.set_simple_text("Status:");
    const auto set = set_from_window();
    if (!set) {
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
    }
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
    s.serial_number = static_cast<std::uint32_t>(*serial);
    s.version = *version;
    s.speed = static_cast<std::uint16_t>(form_.speed.value());
    s.resolution = form_.aufloesung.selected() < 0
                       ? std::uint16_t{0xFFFF}
                       : static_cast<std::uint16_t>(form_.aufloesung.selected());
    s.switches = static_cast<std::uint16_t>((form_.enable_heater.checked() ? 1U : 0U) |
                                            (form_.motor_enable.checked() ? 2U : 0U));
    s.gap_offset_abs = spin(form_.gap_offset_abs);
    s.equal_tolerance_abs = spin(form_.equal_tolerance_abs);
    s.min_modul_angle = spin(form_.min_modul_angle);
    s.max_modul_angle = spin(form_.max_modul_angle);
    s.can_baud_code = baud_code(form_.can_baudrate);
    s.rs232_baud_code = baud_code(form_.rs232_baudrate);
    s.equal_tolerance_rel = spin(form_.equal_tolerance_rel);
    s.gap_offset_rel = spin(form_.gap_offset_rel);
    s.gap_correction = spin(form_.gap_correction);
    s.can_identifier = can_identifier(form_.can_identifier.text());
    return s;
}

void ParaSend::on_saved(const link::ReceivedFrame& /*frame*/) {
    form_.statusbar.set_simple_text("Status:   Parameters saved");
    shared_.parameter_set_valid = true;
}

} // namespace trx::para
