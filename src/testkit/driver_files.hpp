#pragma once

#include "platform/std_files.hpp"

#include <filesystem>
#include <string_view>
#include <utility>

namespace trx::testkit {

// Files on disk, except that an "installed" program folder takes no new files: running as
// root, folder permissions alone would not stop the writes.
class DriverFiles : public platform::StdFiles {
public:
    DriverFiles(std::filesystem::path program, std::filesystem::path config,
                std::filesystem::path data, bool writable)
        : StdFiles(std::move(program), std::move(config), std::move(data)),
          program_writable_(writable) {}

    [[nodiscard]] bool folder_writable(const std::filesystem::path& folder) const override {
        if (!program_writable_ && is_program_folder(folder)) {
            return false;
        }
        return StdFiles::folder_writable(folder);
    }
    bool replace_atomically(const std::filesystem::path& p, std::string_view content) override {
        if (!program_writable_ && is_program_folder(p.parent_path())) {
            return false;
        }
        return StdFiles::replace_atomically(p, content);
    }

private:
    [[nodiscard]] bool is_program_folder(const std::filesystem::path& folder) const {
        return folder.lexically_normal() == program_folder().lexically_normal();
    }
    bool program_writable_;
};

} // namespace trx::testkit
