#include "para/identity.hpp"

#include "base/numtext.hpp"
#include "link/para_frame.hpp"
#include "para/notice.hpp"
#include "para/para_send.hpp"

namespace trx::para {

Identity::Identity(ParaForm& form, link::Defs& defs, link::Receiver& receiver, ui::Dialogs& dialogs)
    : form_(form), defs_(defs), dialogs_(dialogs) {
    connections_ += form_.seriennummer.change.connect([this] { apply_length_rule(); });
    connections_ += form_.seriennummer.lost_focus.connect([this] { apply_length_rule(); });
    connections_ += form_.beenden.click.connect([this] { close_click(); });
    connections_ += form_.command_read_index.click.connect([this] { read_index_click(); });
    connections_ += form_.command_write_index.click.connect([this] { write_index_click(); });
    receiver.on_frame('L', [this](const link::ReceivedFrame& f) { on_index_reply(f); });
    receiver.on_frame('I', [this](const link::ReceivedFrame& f) { on_index_saved(f); });
}

void Identity::show_received_serial(std::uint32_t serial) {
    received_serial_ = num::dec(serial);
    form_.seriennummer.set_text(received_serial_);
}

// What is typed or pasted keeps its last 8 characters: a ninth digit typed at the end
// pushes the first one out.
void Identity::apply_length_rule() {
    const std::string& text = form_.seriennummer.text();
    if (text.size() <= k_serial_chars || text == received_serial_) {
        return;
    }
    form_.seriennummer.set_text(text.substr(text.size() - k_serial_chars));
}

// The index stays unlocked and its buttons stay up: service mode outlives the window.
void Identity::close_click() {
    form_.seriennummer.set_locked(true);
    form_.window.hide();
}

void Identity::read_index_click() {
    (void)defs_.send_read_index();
}

void Identity::write_index_click() {
    form_.statusbar.set_simple_text("Status:");
    const auto index = num::parse_whole(form_.index.text());
    if (!index || *index > 0xFFFFU) {
        refuse(dialogs_, "Index must be a whole number from 0 to 65535. Nothing was written.");
        return;
    }
    link::FrameWriter& writer = defs_.writer();
    if (!writer.start('I')) {
        refuse(dialogs_, "The COM-Port is not open. The index was not written.");
        return;
    }
    send_hex_field(writer, num::hex_upper(*index, 4));
    if (!writer.finish()) {
        refuse(dialogs_, "The COM-Port did not take the command. The index was not written.");
        return;
    }
    index_sent.raise(static_cast<std::uint16_t>(*index));
}

void Identity::on_index_reply(const link::ReceivedFrame& frame) {
    const auto index = link::decode_index_reply(frame.body());
    if (!index) {
        return; // too short to hold an index
    }
    form_.index.set_text(num::dec(*index));
    form_.statusbar.set_simple_text("Status:   Index received  ");
}

void Identity::on_index_saved(const link::ReceivedFrame& /*frame*/) {
    form_.statusbar.set_simple_text("Status:   Index saved     ");
    index_saved.raise();
}

} // namespace trx::para
