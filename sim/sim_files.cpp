#include "sim/sim_files.hpp"

#include "base/numtext.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace trx::sim {

namespace {

FileRead refused(const std::filesystem::path& file, const std::string& why) {
    return {std::nullopt, false, file.string() + ": " + why};
}

std::string errno_text(int e) {
    return std::error_code(e, std::generic_category()).message();
}

std::string too_long(std::uint64_t size, std::size_t max_bytes) {
    return "it is " + num::dec(static_cast<std::int64_t>(size)) + " bytes long, more than the " +
           num::dec(static_cast<std::int64_t>(max_bytes)) + " its format allows";
}

} // namespace

FileRead read_bounded_file(const std::filesystem::path& file, std::size_t max_bytes) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int e = errno;
        FileRead r = refused(file, errno_text(e));
        r.missing = e == ENOENT;
        return r;
    }
    struct Closer {
        int fd;
        ~Closer() { (void)::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return refused(file, errno_text(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return refused(file, "not a regular file (a folder, a device or a pipe)");
    }
    if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
        return refused(file, too_long(static_cast<std::uint64_t>(st.st_size), max_bytes));
    }
    // One byte more than allowed tells a file that grew since fstat.
    std::string text(max_bytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return refused(file, errno_text(errno));
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got > max_bytes) {
        return refused(file, too_long(got, max_bytes));
    }
    text.resize(got);
    return {std::move(text), false, {}};
}

} // namespace trx::sim
