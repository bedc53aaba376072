#include "para/speed_field.hpp"

#include "base/numtext.hpp"

namespace trx::para {

SpeedField::SpeedField(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs)
    : NumericField(box, spinner, dialogs,
                   std::string(link::para_field(link::ParaField::speed).message)) {
    connections_ += spinner.up_click.connect([this] { show_spinner(); });
    connections_ += spinner.down_click.connect([this] { show_spinner(); });
}

void SpeedField::show_spinner() {
    box().set_text(num::fixed_comma(spinner().value(), 1));
}

std::optional<char> SpeedField::appended(const std::string& text, int code) const {
    if (text.size() >= k_max_chars) {
        return std::nullopt;
    }
    if (code == '.' || code == ',') {
        return ','; // the field's decimal separator, whatever the keyboard's
    }
    if (code < '0' || code > '9') {
        return std::nullopt;
    }
    return static_cast<char>(code);
}

// The tenths in the text, further decimals cut off; the value itself must lie within the
// spinner's range, so "18,01" is refused although its tenths are 180.
std::optional<int> SpeedField::spinner_value(const std::string& text) const {
    const auto n = num::parse_comma(text, 1);
    if (!n || n->scaled < spinner().min() || n->scaled > spinner().max() ||
        (n->scaled == spinner().max() && !n->exact)) {
        return std::nullopt;
    }
    return static_cast<int>(n->scaled);
}

bool SpeedField::acceptable(const std::string& text) const {
    return spinner_value(text).has_value();
}

void SpeedField::after_change() {
    box().repaint();
}

} // namespace trx::para
