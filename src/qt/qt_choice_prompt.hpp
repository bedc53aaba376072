#pragma once

#include "ui/choice_prompt.hpp"

namespace trx::ui::qt {

// A fixed list in a modal dialog over the active window, the first item chosen.
class QtChoicePrompt final : public ChoicePrompt {
public:
    std::string choose(const std::string& title, const std::string& text,
                       const std::vector<std::string>& items) override;
};

} // namespace trx::ui::qt
