#include "platform/std_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
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

namespace {

// Opens an existing regular file for reading without waiting: a FIFO or a device put where a
// file is expected is refused at once instead of blocking the start. -1 when refused.
int open_regular(const fs::path& p) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Where the first line ends (CR or LF); npos when it does not.
std::size_t line_end(std::string_view text) {
    return std::min(text.find('\r'), text.find('\n'));
}

bool write_all(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The rename is on disk only once the folder that holds the names is.
void sync_folder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::optional<std::string> StdFiles::read_first_line(const fs::path& p) const {
    const int fd = open_regular(p);
    if (fd < 0) {
        return std::nullopt;
    }
    // Read until the first line end, the end of the file or the limit, whichever comes first.
    std::string head(k_first_line_limit, '\0');
    std::size_t got = 0;
    bool ok = true;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n >= 0;
        if (n <= 0) {
            break;
        }
        const std::string_view chunk(head.data() + got, static_cast<std::size_t>(n));
        got += static_cast<std::size_t>(n);
        if (line_end(chunk) != std::string_view::npos) {
            break;
        }
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    head.resize(got);
    return head.substr(0, line_end(head));
}

bool StdFiles::can_read(const fs::path& p) const {
    // A NUL would end the name early and test another file than the one named.
    if (p.empty() || p.native().find('\0') != std::string::npos) {
        return false;
    }
    const int fd = open_regular(p);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// The temporary file gets a fresh name beside p and is created, never opened: whatever stands
// at that name (a symlink placed there included) makes the create fail instead of being
// followed. It takes the mode of the file it replaces, and is on disk before the rename.
bool StdFiles::replace_atomically(const fs::path& p, std::string_view content) {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    const fs::path folder = p.parent_path();
    std::string name = (folder / ("." + p.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    const mode_t mode = ::stat(p.c_str(), &old) == 0 ? (old.st_mode & 07777) : k_new_file_mode;
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // rename() replaces p itself: a symlink standing there is replaced, not followed.
    ok = ok && ::rename(name.c_str(), p.c_str()) == 0;
    if (!ok) {
        ::unlink(name.c_str());
        return false;
    }
    sync_folder(folder);
    return true;
}

} // namespace trx::platform
