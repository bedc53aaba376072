#pragma once

#include "ui/services.hpp"

#include <string>
#include <utility>

namespace trx::para {

// A refusal of the parameter window: a box titled "Parameter" with an OK button, saying
// what was not done and why.
inline void refuse(ui::Dialogs& dialogs, std::string text) {
    dialogs.message({std::move(text), "Parameter", ui::Icon::warning, {}});
}

} // namespace trx::para
