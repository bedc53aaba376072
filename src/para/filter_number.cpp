#include "para/filter_number.hpp"

#include "base/numtext.hpp"

namespace trx::para {

FilterNumber::FilterNumber(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs, int digits,
                           std::string message)
    : NumericField(box, spinner, dialogs, std::move(message)),
      digits_(static_cast<std::size_t>(digits)) {
    connections_ +=
        spinner.change.connect([this] { this->box().set_text(num::dec(this->spinner().value())); });
}

std::optional<char> FilterNumber::appended(const std::string& text, int code) const {
    if (code < '0' || code > '9' || text.size() >= digits_) {
        return std::nullopt;
    }
    return static_cast<char>(code);
}

std::optional<int> FilterNumber::spinner_value(const std::string& text) const {
    const std::int64_t v = num::leading_value(text);
    if (v < spinner().min() || v > spinner().max()) {
        return std::nullopt;
    }
    return static_cast<int>(v);
}

bool FilterNumber::acceptable(const std::string& text) const {
    return !text.empty() && spinner_value(text).has_value();
}

} // namespace trx::para
