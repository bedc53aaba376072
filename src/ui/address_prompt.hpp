#pragma once

#include <string>
#include <vector>

namespace trx::ui {

// The small dialog behind "Network port...": asks for a network port's address, offering the
// addresses used last (newest first). The text as entered; empty when cancelled.
class AddressPrompt {
public:
    AddressPrompt() = default;
    AddressPrompt(const AddressPrompt&) = delete;
    AddressPrompt& operator=(const AddressPrompt&) = delete;
    AddressPrompt(AddressPrompt&&) = delete;
    AddressPrompt& operator=(AddressPrompt&&) = delete;
    virtual ~AddressPrompt() = default;
    virtual std::string ask(const std::vector<std::string>& recent) = 0;
};

} // namespace trx::ui
