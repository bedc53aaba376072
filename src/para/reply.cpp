#include "para/reply.hpp"

#include "para/notice.hpp"
#include "ui/numtext.hpp"

#include <utility>

namespace trx::para {

namespace {

constexpr int k_min_speed = 60;
constexpr int k_max_speed = 180;
constexpr int k_resolutions = 6;
constexpr int k_baud_codes = 5;
constexpr std::uint16_t k_max_can_identifier = 0x7FF;

} // namespace

ParaRead::ParaRead(Deps deps) : d_(std::move(deps)) {
    d_.form.cmd_read_para.click.connect([this] { read_click(); });
    d_.receiver.on_frame('W', [this](const link::ReceivedFrame& f) { on_reply(f); });
}

void ParaRead::read_click() {
    d_.form.statusbar.set_simple_text("Status:");
    if (!d_.defs.writer().port().is_open()) {
        refuse(d_.dialogs, "The COM-Port is not open. The parameters were not read.");
        return;
    }
    if (!d_.defs.send_read_para()) {
        refuse(d_.dialogs, "The COM-Port did not take the command. The parameters were not read.");
        return;
    }
    // A click while a wait runs only asks again; the running wait takes the reply.
    if (waiting_) {
        return;
    }
    waiting_ = true;
    const bool replied = d_.pump.pump_until([this] { return d_.shared.parameters_received; });
    waiting_ = false;
    if (replied) {
        d_.shared.parameters_received = false;
    }
}

void ParaRead::on_reply(const link::ReceivedFrame& frame) {
    d_.shared.parameter_set_valid = true;
    const link::ParaReply r = link::decode_para_reply(frame.body());
    show_type(r.type);
    show_short_set(r);
    if (d_.form.typ.caption() == "YA") {
        show_extended_set(r.set);
    }
    d_.shared.parameters_received = true;
    d_.form.statusbar.set_simple_text("Status:   Parameters received");
    if (!d_.shared.parameter_set_valid) {
        // Shown once this receive event is over: a modal box inside it would let the bytes
        // that arrive meanwhile into the receive assembly ahead of the rest of this batch.
        d_.pump.post([this] {
            d_.dialogs.message({"Wrong parameter, please set !", "Parameter", ui::Icon::none, {}});
        });
    }
}

void ParaRead::show_type(link::ScannerType type) {
    switch (type) {
    case link::ScannerType::za:
        d_.form.typ.set_caption("ZA");
        break;
    case link::ScannerType::ya:
        d_.form.typ.set_caption("YA");
        break;
    case link::ScannerType::unknown:
        d_.form.typ.set_caption("??");
        wrong();
        break;
    }
    const bool extended = type == link::ScannerType::ya;
    d_.fields.show_extended(extended);
    d_.display_filter_frame.set_visible(extended);
}

// A field that the reply does not hold is left as it is; the reply then has an unexpected
// length and counts as wrong already.
void ParaRead::show_short_set(const link::ParaReply& r) {
    using link::ShortField;
    const link::ParaSet& s = r.set;
    if (r.has(ShortField::serial_number)) {
        d_.identity.show_received_serial(s.serial_number);
    }
    if (r.has(ShortField::version)) {
        version_ = s.version;
        d_.form.version.set_caption(num::fixed_comma(s.version, 2));
    }
    if (r.has(ShortField::speed)) {
        show_speed(s.speed);
    }
    if (r.has(ShortField::resolution)) {
        const bool ok = s.resolution < k_resolutions;
        d_.form.aufloesung.set_selected(ok ? s.resolution : 0);
        if (!ok) {
            wrong();
        }
    }
    if (r.has(ShortField::switches)) {
        d_.form.enable_heater.set_checked((s.switches & 1U) != 0);
        d_.form.motor_enable.set_checked((s.switches & 2U) != 0);
    }
}

void ParaRead::show_speed(std::uint16_t v) {
    NumericField& speed = d_.fields.numeric(d_.form.speed_anz.name());
    if (v < k_min_speed || v > k_max_speed) {
        speed.show("??.?");
        wrong();
        return;
    }
    const std::string text = num::fixed_comma(v, 1);
    speed.show(text);
    speed.set_restore(text);
    d_.form.speed.set_value(v);
}

void ParaRead::show_extended_set(const link::ParaSet& s) {
    ParaForm& f = d_.form;
    show_filter(f.gap_offset_abs, s.gap_offset_abs, "?");
    show_filter(f.equal_tolerance_abs, s.equal_tolerance_abs, "?");
    show_filter(f.min_modul_angle, s.min_modul_angle, "?");
    show_filter(f.max_modul_angle, s.max_modul_angle, "?");
    select_baud(f.can_baudrate, s.can_baud_code);
    select_baud(f.rs232_baudrate, s.rs232_baud_code);
    show_filter(f.equal_tolerance_rel, s.equal_tolerance_rel, "0");
    show_filter(f.gap_offset_rel, s.gap_offset_rel, "0");
    show_filter(f.gap_correction, s.gap_correction, "0");
    if (s.can_identifier <= k_max_can_identifier) {
        f.can_identifier.set_text("0x" + num::hex_upper(s.can_identifier, 3));
    } else {
        f.can_identifier.set_text("");
        wrong();
    }
}

// In range: the number, which becomes the restore value, and the spinner follows. Out of
// range: the error text alone, which still passes through the box's change rule.
void ParaRead::show_filter(FilterField& f, std::uint16_t v, const char* bad_text) {
    NumericField& field = d_.fields.numeric(f.anz.name());
    if (v < f.spin.min() || v > f.spin.max()) {
        field.show(bad_text);
        wrong();
        return;
    }
    const std::string text = num::dec(v);
    field.show(text);
    field.set_restore(text);
    f.spin.set_value(v);
}

// Code 0 selects no entry; codes past the list select the first entry and are wrong.
void ParaRead::select_baud(ui::ComboBox& list, std::uint8_t code) {
    if (code > k_baud_codes) {
        list.set_selected(0);
        wrong();
        return;
    }
    list.set_selected(static_cast<int>(code) - 1);
}

} // namespace trx::para
