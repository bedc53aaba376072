#include "sw_update/hex_folder.hpp"

namespace trx::sw_update {

namespace fs = std::filesystem;

fs::path demo_firmware_folder(const ui::Files& files, const std::vector<fs::path>& from_program) {
    for (const auto& relative : from_program) {
        const fs::path folder = (files.program_folder() / relative).lexically_normal();
        if (files.exists(folder / k_demo_firmware_name)) {
            return folder;
        }
    }
    return {};
}

std::string hex_dialog_start(const std::string& last_hex, const fs::path& demo_folder) {
    if (!last_hex.empty()) {
        return last_hex;
    }
    if (!demo_folder.empty()) {
        return demo_folder.string() + "/";
    }
    return {};
}

} // namespace trx::sw_update
