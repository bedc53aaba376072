#pragma once

#include "ui/services.hpp"

#include <string>
#include <utility>

namespace trx::para {

// A refusal of the parameter window: a box titled "Parameter" with an OK button, saying
// what was not done and why; the detail (a file's path, say) when there is one.
inline void refuse(ui::Dialogs& dialogs, std::string text, std::string detail = {}) {
    dialogs.message({std::move(text), "Parameter", ui::Icon::warning, std::move(detail)});
}

} // namespace trx::para
