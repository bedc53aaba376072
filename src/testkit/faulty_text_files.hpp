#pragma once

#include "parafile/text_files.hpp"

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace trx::testkit {

// Real files, except that the test can fill the disk or make a folder read-only: running as
// root, permissions alone would not stop the writes. A full disk takes all of a write but
// its last byte, so what a failed write leaves behind is really on disk to be cleaned up.
class FaultyTextFiles : public parafile::TextFiles {
public:
    void set_full(bool full) { full_ = full; }
    void set_read_only(std::filesystem::path folder) { read_only_ = std::move(folder); }

protected:
    std::error_code make_folders(const std::filesystem::path& folder) override {
        std::error_code ec;
        if (read_only(folder) && !std::filesystem::is_directory(folder, ec)) {
            return std::make_error_code(std::errc::read_only_file_system);
        }
        return TextFiles::make_folders(folder);
    }
    int make_temp(std::string& path_template) override {
        if (read_only(std::filesystem::path(path_template).parent_path())) {
            errno = EROFS;
            return -1;
        }
        return TextFiles::make_temp(path_template);
    }
    long write_some(int fd, const char* data, std::size_t size) override {
        if (!full_) {
            return TextFiles::write_some(fd, data, size);
        }
        if (size > 1) {
            return TextFiles::write_some(fd, data, size - 1);
        }
        errno = ENOSPC;
        return -1;
    }

private:
    [[nodiscard]] bool read_only(const std::filesystem::path& p) const {
        if (read_only_.empty()) {
            return false;
        }
        const auto rel = p.lexically_normal().lexically_relative(read_only_.lexically_normal());
        return !rel.empty() && *rel.begin() != "..";
    }

    bool full_ = false;
    std::filesystem::path read_only_;
};

} // namespace trx::testkit
