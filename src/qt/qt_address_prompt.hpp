#pragma once

#include "ui/address_prompt.hpp"

namespace trx::ui::qt {

// "Network port...": an editable list of the last addresses, the newest chosen.
class QtAddressPrompt final : public AddressPrompt {
public:
    std::string ask(const std::vector<std::string>& recent) override;
};

} // namespace trx::ui::qt
