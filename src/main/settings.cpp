#include "main/settings.hpp"

namespace trx::main {

std::filesystem::path Settings::read_path() const {
    const auto in_program = files_.program_folder() / k_settings_file;
    if (files_.exists(in_program)) {
        return in_program;
    }
    return files_.config_folder() / k_settings_file;
}

std::filesystem::path Settings::write_path() const {
    if (files_.folder_writable(files_.program_folder())) {
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
