#pragma once

#include "para/numeric_field.hpp"

#include <cstddef>
#include <optional>
#include <string>

namespace trx::para {

// One of the seven filter fields: a whole number of at most `digits` digits. The spinner's
// own changes (arrow clicks, the text, a reply) write its value back without leading zeros.
class FilterNumber final : public NumericField {
public:
    FilterNumber(ui::TextBox& box, ui::Spinner& spinner, ui::Dialogs& dialogs, int digits,
                 std::string message);

protected:
    [[nodiscard]] std::optional<char> appended(const std::string& text, int code) const override;
    [[nodiscard]] std::optional<int> spinner_value(const std::string& text) const override;
    [[nodiscard]] bool acceptable(const std::string& text) const override;

private:
    std::size_t digits_;
};

} // namespace trx::para
