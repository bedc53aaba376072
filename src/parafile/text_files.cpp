#include "parafile/text_files.hpp"

#include "base/numtext.hpp"
#include "base/output_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trx::parafile {

namespace fs = std::filesystem;

namespace {

std::string errno_text(int e) {
    return std::error_code(e, std::generic_category()).message();
}

Error unreadable(std::string reason) {
    return {ErrorKind::bad_input, std::move(reason)};
}

Error unwritable(std::string reason) {
    return {ErrorKind::local_file, std::move(reason)};
}

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&&) = delete;
    Fd& operator=(Fd&&) = delete;
    ~Fd() { (void)close(); }
    [[nodiscard]] int get() const { return fd_; }
    // Whether the close succeeded: a failed close can mean unwritten data.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// A folder that cannot be synced (some network file systems) does not fail the write: the
// file is whole and in place, only the rename's durability is left to the system.
void sync_folder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        (void)::close(fd);
    }
}

} // namespace

Result<std::string> TextFiles::read(const fs::path& p, std::size_t max_bytes) const {
    // Non-blocking, so that a pipe without a writer cannot hang the open.
    Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        return unreadable(errno_text(errno));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return unreadable(errno_text(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return unreadable("it is not a file (a folder, a device or a pipe)");
    }
    const auto too_long = [max_bytes](std::uint64_t size) {
        return unreadable("it is " + num::dec(static_cast<std::int64_t>(size)) +
                          " bytes long; a parameter file has at most " +
                          num::dec(static_cast<std::int64_t>(max_bytes)));
    };
    if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
        return too_long(static_cast<std::uint64_t>(st.st_size));
    }
    // One byte more than allowed tells a file that grew since fstat.
    std::string text(max_bytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return unreadable(errno_text(errno));
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got > max_bytes) {
        return too_long(got);
    }
    text.resize(got);
    return text;
}

Result<Done> TextFiles::replace(const fs::path& p, std::string_view content) {
    auto w = write(p, content, true);
    if (!w) {
        return w.error();
    }
    return Done{};
}

Result<Created> TextFiles::create(const fs::path& p, std::string_view content) {
    return write(p, content, false);
}

Result<Created> TextFiles::write(const fs::path& asked, std::string_view content, bool over) {
    // A rename puts a regular file in place of whatever had the name: never of a device node,
    // a pipe or a folder; a link keeps linking, to the file written.
    std::error_code target_ec;
    const fs::path p = over ? output_target(asked, target_ec) : asked;
    if (target_ec) {
        return Error{target_ec.category() == output_category() ? ErrorKind::bad_input
                                                               : ErrorKind::local_file,
                     target_ec.message() + "; nothing was written"};
    }
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (const std::error_code ec = make_folders(folder)) {
        return unwritable(ec.message());
    }
    std::string tmp = (folder / ("." + p.filename().string() + ".XXXXXX")).string();
    Fd fd(make_temp(tmp));
    if (fd.get() < 0) {
        return unwritable(errno_text(errno));
    }
    // mkstemp makes the file private; a parameter file reads like any other.
    (void)::fchmod(fd.get(), 0644);
    int error = 0;
    // On disk before the rename makes it the file.
    if (!write_all(fd.get(), content) || ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (!fd.close() && error == 0) {
        error = errno;
    }
    if (error != 0) {
        (void)::unlink(tmp.c_str());
        return unwritable(errno_text(error));
    }
    // link() never replaces: a name taken meanwhile stays as it was.
    const int placed = over ? ::rename(tmp.c_str(), p.c_str()) : ::link(tmp.c_str(), p.c_str());
    error = errno;
    if (!over || placed != 0) {
        (void)::unlink(tmp.c_str());
    }
    if (placed != 0 && error == EEXIST && !over) {
        return Created::name_taken;
    }
    if (placed != 0) {
        return unwritable(errno_text(error));
    }
    sync_folder(folder);
    return Created::written;
}

bool TextFiles::write_all(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const long n = write_some(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::string> TextFiles::names(const fs::path& folder) const {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (it->is_regular_file(type_ec)) {
            out.push_back(it->path().filename().string());
        }
    }
    return out;
}

bool TextFiles::remove(const fs::path& p) {
    return ::unlink(p.c_str()) == 0;
}

std::error_code TextFiles::make_folders(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return ec;
}

int TextFiles::make_temp(std::string& path_template) {
    return ::mkostemp(path_template.data(), O_CLOEXEC);
}

long TextFiles::write_some(int fd, const char* data, std::size_t size) {
    return ::write(fd, data, size);
}

} // namespace trx::parafile
