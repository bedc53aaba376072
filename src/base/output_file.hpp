#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <system_error>

namespace trx {

// Why a file the program writes cannot go where it was asked to.
enum class OutputRefusal { not_regular = 1, dangling_link };

class OutputCategory final : public std::error_category {
public:
    [[nodiscard]] const char* name() const noexcept override { return "trx.output"; }
    [[nodiscard]] std::string message(int e) const override {
        if (e == static_cast<int>(OutputRefusal::dangling_link)) {
            return "it is a symbolic link to no regular file";
        }
        return "it is not a regular file (a folder, a device or a pipe)";
    }
};

inline const std::error_category& output_category() {
    static const OutputCategory category;
    return category;
}

inline std::error_code make_error_code(OutputRefusal e) {
    return {static_cast<int>(e), output_category()};
}

// Where a file written whole or anew in place of p goes: p itself when it is new or a regular
// file, the regular file a symbolic link names (replacing the link would cut it), and nowhere
// (ec says why) when p is a folder, a device, a pipe or a link to one of them: replacing a
// device node or writing into a pipe nobody reads is never what a save means.
inline std::filesystem::path output_target(const std::filesystem::path& p, std::error_code& ec) {
    ec.clear();
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            ec = {errno, std::generic_category()};
        }
        return p;
    }
    if (S_ISREG(st.st_mode)) {
        return p;
    }
    if (!S_ISLNK(st.st_mode)) {
        ec = make_error_code(OutputRefusal::not_regular);
        return p;
    }
    std::error_code link_ec;
    std::filesystem::path real = std::filesystem::canonical(p, link_ec);
    if (link_ec) {
        ec = make_error_code(OutputRefusal::dangling_link);
        return p;
    }
    if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = make_error_code(OutputRefusal::not_regular);
    }
    return real;
}

} // namespace trx
