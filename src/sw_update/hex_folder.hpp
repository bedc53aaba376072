#pragma once

#include "ui/services.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace trx::sw_update {

inline constexpr const char* k_demo_firmware_name = "demo-firmware.h86";

// The folder of the demo firmware that came with the program: the first of `from_program`
// (folders relative to the program's own: the installed layout's, a build tree's) that holds
// it; empty when none does.
std::filesystem::path demo_firmware_folder(const ui::Files& files,
                                           const std::vector<std::filesystem::path>& from_program);

// Where the hex file dialog starts: at the last hex file (in its folder, the file chosen),
// else in the demo firmware's folder, else where the dialog itself likes ("").
std::string hex_dialog_start(const std::string& last_hex, const std::filesystem::path& demo_folder);

} // namespace trx::sw_update
