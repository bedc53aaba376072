#include "para/para_read.hpp"

#include "base/numtext.hpp"
#include "para/notice.hpp"

#include <utility>

namespace trx::para {

ParaRead::ParaRead(Deps deps) : d_(std::move(deps)) {
    connections_ += d_.form.cmd_read_para.click.connect([this] { read_click(); });
    d_.receiver.on_frame('W', [this](const link::ReceivedFrame& f) { on_reply(f); });
}

void ParaRead::read_click() {
    d_.form.statusbar.set_simple_text("Status:");
    if (!d_.port.is_open()) {
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

// The fields in frame order. A field that the reply does not hold is left as it is; the
// reply then has an unexpected length and counts as wrong already.
void ParaRead::on_reply(const link::ReceivedFrame& frame) {
    d_.shared.parameter_set_valid = true;
    const link::ParaReply r = link::decode_para_reply(frame.body());
    show_type(r.type);
    const bool ya = link::scanner_type(d_.form.typ.caption()) == link::ScannerType::ya;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (r.has(f) && (!f.extended || ya)) {
            show_field(f, link::field_value(r.set, f));
        }
    }
    d_.shared.parameters_received = true;
    d_.shared.reply_since_link_up = true;
    d_.form.statusbar.set_simple_text("Status:   Parameters received");
    last_ = r;
    reply_shown.raise(r);
    if (!d_.shared.parameter_set_valid) {
        show_wrong_once();
    }
}

void ParaRead::show_settings(const link::ParaSet& set) {
    const bool ya = link::scanner_type(d_.form.typ.caption()) == link::ScannerType::ya;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (!f.read_only && (!f.extended || ya)) {
            show_field(f, link::field_value(set, f));
        }
    }
}

// Shown once this receive event is over: a modal box inside it would let the bytes that
// arrive meanwhile into the receive assembly ahead of the rest of this batch. While one box
// waits or is shown, further wrong replies add none: a scanner that keeps sending them gets
// one box at a time, not a queue.
void ParaRead::show_wrong_once() {
    if (wrong_box_) {
        return;
    }
    wrong_box_ = true;
    d_.pump.post([this] {
        d_.dialogs.message({"Wrong parameter, please set !", "Parameter", ui::Icon::none, {}});
        wrong_box_ = false;
    });
}

void ParaRead::show_type(link::ScannerType type) {
    d_.form.typ.set_caption(std::string(link::type_text(type)));
    if (type == link::ScannerType::unknown) {
        wrong();
    }
    const bool extended = type == link::ScannerType::ya;
    d_.fields.show_extended(extended);
    d_.display_filter_frame.set_visible(extended);
}

void ParaRead::show_field(const link::ParaFieldDef& f, std::uint32_t v) {
    using D = link::ParaDisplay;
    ParaForm& form = d_.form;
    switch (f.display) {
    case D::serial:
        d_.identity.show_received_serial(v);
        return;
    case D::version:
        version_ = static_cast<std::uint16_t>(v);
        form.version.set_caption(link::display_value(f, v));
        return;
    case D::tenths:
    case D::whole:
        show_number(f, v);
        return;
    case D::list: {
        const bool ok = link::in_range(f, v);
        form.window.get<ui::ComboBox>(f.control).set_selected(ok ? static_cast<int>(v) : 0);
        if (!ok) {
            wrong();
        }
        return;
    }
    case D::code:
        select_code(f, v);
        return;
    case D::bit:
        form.window.get<ui::CheckBox>(f.control).set_checked(v != 0);
        return;
    case D::can_id: {
        const bool ok = link::in_range(f, v);
        form.can_identifier.set_text(ok ? link::display_value(f, v) : std::string(f.bad_text));
        if (!ok) {
            wrong();
        }
        return;
    }
    }
}

// In range: the number, which becomes the restore value, and the spinner follows. Out of
// range: the field's error text alone, which still passes through the box's change rule.
void ParaRead::show_number(const link::ParaFieldDef& f, std::uint32_t v) {
    NumericField& field = d_.fields.numeric(f.control);
    if (!link::in_range(f, v)) {
        field.show(std::string(f.bad_text));
        wrong();
        return;
    }
    const std::string text = link::display_value(f, v);
    field.show(text);
    field.set_restore(text);
    d_.form.spinner(f).set_value(static_cast<int>(v));
}

// Code 0 selects no entry; codes past the list select the first entry and are wrong.
void ParaRead::select_code(const link::ParaFieldDef& f, std::uint32_t code) {
    auto& list = d_.form.window.get<ui::ComboBox>(f.control);
    if (!link::in_range(f, code)) {
        list.set_selected(0);
        wrong();
        return;
    }
    list.set_selected(static_cast<int>(code) - 1);
}

} // namespace trx::para
