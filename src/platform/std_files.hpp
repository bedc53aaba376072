#pragma once

#include "ui/services.hpp"

namespace trx::platform {

// Files on the local file system, with plain C++.
class StdFiles : public ui::Files {
public:
    static constexpr std::size_t k_first_line_limit = 4096;
    static constexpr unsigned k_new_file_mode = 0644; // a settings file written the first time

    // config empty: $XDG_CONFIG_HOME/trx81500 or ~/.config/trx81500;
    // data empty: $XDG_DATA_HOME/trx81500 or ~/.local/share/trx81500
    explicit StdFiles(std::filesystem::path program_folder, std::filesystem::path config = {},
                      std::filesystem::path data = {});

    [[nodiscard]] std::filesystem::path program_folder() const override { return program_; }
    [[nodiscard]] std::filesystem::path config_folder() const override { return config_; }
    [[nodiscard]] std::filesystem::path data_folder() const override { return data_; }
    [[nodiscard]] bool exists(const std::filesystem::path& p) const override;
    [[nodiscard]] bool folder_writable(const std::filesystem::path& folder) const override;
    // At most the first k_first_line_limit bytes of a regular file are read.
    [[nodiscard]] std::optional<std::string>
    read_first_line(const std::filesystem::path& p) const override;
    [[nodiscard]] bool can_read(const std::filesystem::path& p) const override;
    bool replace_atomically(const std::filesystem::path& p, std::string_view content) override;

    static std::filesystem::path default_config_folder();
    static std::filesystem::path default_data_folder();

private:
    std::filesystem::path program_;
    std::filesystem::path config_;
    std::filesystem::path data_;
};

} // namespace trx::platform
