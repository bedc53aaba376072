#pragma once

#include "link/para_catalogue.hpp"
#include "para/numeric_field.hpp"

namespace trx::para {

// The mirror speed: `speed_anz` shows turns per second with a decimal comma ("12,5"), the
// spinner `speed` counts tenths. Only an arrow click writes the spinner's value
// into the box; a change that comes from the text or from a reply leaves the text as it is.
class SpeedField final : public NumericField {
public:
    static constexpr std::size_t k_max_chars =
        static_cast<std::size_t>(link::para_field(link::ParaField::speed).digits);

    SpeedField(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs);

protected:
    [[nodiscard]] std::optional<char> appended(const std::string& text, int code) const override;
    [[nodiscard]] std::optional<int> spinner_value(const std::string& text) const override;
    [[nodiscard]] bool acceptable(const std::string& text) const override;
    void after_change() override;

private:
    void show_spinner();
};

} // namespace trx::para
