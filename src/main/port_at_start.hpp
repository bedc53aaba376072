#pragma once

#include "forms/main_form.hpp"

#include <string_view>

namespace trx::main {

// Opens a port at start as the technician would: the port menu is opened (so that it lists
// the adapters present), the entry named `name` is chosen ("COM3", "/dev/ttyUSB0",
// "Simulator") and the port button clicked; a port that will not open shows its box as
// always. False, with nothing done, when the menu has no such entry.
bool open_port_at_start(MainForm& form, std::string_view name);

} // namespace trx::main
