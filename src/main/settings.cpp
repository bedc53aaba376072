#include "main/settings.hpp"

namespace trx::main {

namespace {
// A system folder takes no settings, marker or not: root could write there.
bool in_system_folder(const std::filesystem::path& folder) {
    const auto p = folder.lexically_normal();
    for (const std::filesystem::path root : {"/usr", "/opt"}) {
        const auto rel = p.lexically_relative(root);
        if (!rel.empty() && *rel.begin() != "..") {
            return true;
        }
    }
    return false;
}
} // namespace

bool Settings::beside_program() const {
    const auto folder = files_.program_folder();
    return files_.exists(folder / k_portable_marker) && !in_system_folder(folder) &&
           files_.folder_writable(folder);
}

// The file that write() replaces comes first, so what Exit stored is what the next start
// reads; the other one serves while that one does not exist.
std::filesystem::path Settings::read_path() const {
    const auto in_program = files_.program_folder() / k_settings_file;
    const auto in_config = files_.config_folder() / k_settings_file;
    const bool program_first = beside_program();
    const auto& first = program_first ? in_program : in_config;
    if (files_.exists(first)) {
        return first;
    }
    return program_first ? in_config : in_program;
}

std::filesystem::path Settings::write_path() const {
    if (beside_program()) {
        return files_.program_folder() / k_settings_file;
    }
    return files_.config_folder() / k_settings_file;
}

std::optional<std::string> Settings::read() const {
    auto line = files_.read_first_line(read_path());
    if (!line || !files_.can_read(*line)) {
        return std::nullopt;
    }
    return line;
}

bool Settings::write(std::string_view hex_path) {
    std::string content(hex_path);
    content += "\r\n";
    return files_.replace_atomically(write_path(), content);
}

} // namespace trx::main
