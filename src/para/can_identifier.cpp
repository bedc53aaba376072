#include "para/can_identifier.hpp"

#include "base/numtext.hpp"

namespace trx::para {

namespace {
constexpr const char* k_prefix = "0x";
constexpr std::size_t k_prefix_length = 2;

// The hexadecimal number of the text's characters, reading up to the first non-hex digit.
unsigned hex_value(std::string_view text) {
    unsigned v = 0;
    for (char c : text) {
        const int d = num::hex_digit(c);
        if (d < 0) {
            break;
        }
        v = v * 16U + static_cast<unsigned>(d);
    }
    return v;
}
} // namespace

CanIdentifier::CanIdentifier(ui::TextBox& box) : box_(box) {
    box_.set_paste_as_keys(true);
    connections_ += box_.click.connect([this] { on_click(); });
    connections_ += box_.key.connect([this](ui::KeyPress& k) { on_key(k); });
    connections_ += box_.lost_focus.connect([this] {
        box_.set_text(on_leaving(box_.text()));
        box_.caret_to_end();
    });
}

void CanIdentifier::on_click() {
    if (box_.text().empty()) {
        box_.set_text(k_prefix);
    }
    box_.caret_to_end();
}

void CanIdentifier::on_key(ui::KeyPress& k) {
    k.handled = true;
    const std::string& text = box_.text();
    const bool plain = (k.mods & (ui::mod_ctrl | ui::mod_alt)) == 0;
    if (plain && k.code >= '0' && k.code <= '9') {
        if (text.size() < k_length) {
            box_.set_text(text + static_cast<char>(k.code));
        }
    } else if (plain && k.code == ui::keys::backspace && text.size() > k_prefix_length) {
        // The first two characters stand for the prefix and stay.
        box_.set_text(text.substr(0, text.size() - 1));
    }
    box_.caret_to_end();
}

// The rule looks only at the length, so a text typed without the prefix is padded as if its
// first two characters were the prefix ("123" gives "0x003"). A full-length text is always
// shown as "0x" and its last three characters, the number that goes to the scanner.
std::string CanIdentifier::on_leaving(const std::string& text) {
    const std::size_t n = text.size();
    if (n <= k_prefix_length) {
        return "0x000";
    }
    if (n < k_length) {
        return "0x" + std::string(k_length - n, '0') + text.substr(k_prefix_length);
    }
    const std::string digits = text.substr(n - 3);
    if (hex_value(digits) > k_max) {
        return {};
    }
    return k_prefix + digits;
}

} // namespace trx::para
