#include "platform/std_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace trx::platform {

namespace fs = std::filesystem;

StdFiles::StdFiles(fs::path program_folder, fs::path config, fs::path data)
    : program_(std::move(program_folder)),
      config_(config.empty() ? default_config_folder() : std::move(config)),
      data_(data.empty() ? default_data_folder() : std::move(data)) {}

// An XDG folder must be absolute; a relative one is ignored, as the XDG rules say.
fs::path StdFiles::default_data_folder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "trx81500";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".local" / "share" / "trx81500";
    }
    return fs::temp_directory_path() / "trx81500";
}

fs::path StdFiles::default_config_folder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "trx81500";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".config" / "trx81500";
    }
    return fs::temp_directory_path() / "trx81500";
}

bool StdFiles::exists(const fs::path& p) const {
    std::error_code ec;
    return fs::exists(p, ec);
}

bool StdFiles::folder_writable(const fs::path& folder) const {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::optional<std::string> StdFiles::read_first_line(const fs::path& p) const {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    char c = 0;
    while (in.get(c)) {
        if (c == '\r' || c == '\n') {
            break;
        }
        line.push_back(c);
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return line;
}

bool StdFiles::can_read(const fs::path& p) const {
    std::error_code ec;
    if (p.empty() || fs::is_directory(p, ec)) {
        return false;
    }
    std::ifstream in(p, std::ios::binary);
    return static_cast<bool>(in);
}

bool StdFiles::replace_atomically(const fs::path& p, std::string_view content) {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    fs::path tmp = p;
    tmp += ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    // The data must be on disk before the rename makes it the settings file.
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        fs::rename(tmp, p, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(tmp, ec);
    }
    return ok;
}

} // namespace trx::platform
