#pragma once

#include "ui/signal.hpp"

#include "link/para_catalogue.hpp"
#include "ui/controls.hpp"

#include <string>

namespace trx::para {

// The CAN identifier box: "0x" and up to three hexadecimal digits, 0x000 to 0x7FF. Only the
// digits 0 to 9 can be typed, and only its key handler edits the text, at the end; a reply
// may write "A" to "F". Leaving pads the text to "0x" and three digits by its length alone;
// an identifier above 0x7FF is cleared without a message.
class CanIdentifier {
public:
    // "0x" and three digits
    static constexpr std::size_t k_length =
        static_cast<std::size_t>(link::para_field(link::ParaField::can_identifier).digits);
    static constexpr unsigned k_max = link::para_field(link::ParaField::can_identifier).max;

    explicit CanIdentifier(ui::TextBox& box);

    // The text a box holding `text` shows after the technician leaves it.
    [[nodiscard]] static std::string on_leaving(const std::string& text);

private:
    void on_click();
    void on_key(ui::KeyPress& k);

    ui::TextBox& box_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
