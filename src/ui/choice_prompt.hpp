#pragma once

#include <string>
#include <vector>

namespace trx::ui {

// A small dialog that offers a list to pick one from ("Find scanner" with scanners on several
// ports). The item chosen; empty when cancelled.
class ChoicePrompt {
public:
    ChoicePrompt() = default;
    ChoicePrompt(const ChoicePrompt&) = delete;
    ChoicePrompt& operator=(const ChoicePrompt&) = delete;
    ChoicePrompt(ChoicePrompt&&) = delete;
    ChoicePrompt& operator=(ChoicePrompt&&) = delete;
    virtual ~ChoicePrompt() = default;
    virtual std::string choose(const std::string& title, const std::string& text,
                               const std::vector<std::string>& items) = 0;
};

} // namespace trx::ui
