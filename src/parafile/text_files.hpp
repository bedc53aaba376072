#pragma once

#include "base/result.hpp"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace trx::parafile {

// What create() did when it did not fail: a name already taken is no error to the caller
// who tries the next name.
enum class Created { written, name_taken };

// Small text files on the local file system, read with bounds and written so that a file
// is either whole or not there: a temporary file in the same folder, synced, renamed into
// place, the folder synced. The protected steps are the system calls, so that a test can
// make them fail as a full disk or a read-only folder would.
class TextFiles {
public:
    TextFiles() = default;
    TextFiles(const TextFiles&) = delete;
    TextFiles& operator=(const TextFiles&) = delete;
    TextFiles(TextFiles&&) = delete;
    TextFiles& operator=(TextFiles&&) = delete;
    virtual ~TextFiles() = default;

    // The whole file. Refused (bad_input, the reason in words a technician can act on)
    // before anything is read when it is not a regular file (a folder, a device, a pipe) or
    // is longer than max_bytes.
    [[nodiscard]] Result<std::string> read(const std::filesystem::path& p,
                                           std::size_t max_bytes) const;
    // Puts content in place of p (creating its folder), atomically; local_file when the
    // system refuses, with its words. A p that exists and is no regular file (a folder, a
    // device, a pipe, a link to one) is refused (bad_input) and left as it is; a link to a
    // regular file stays a link, to the file written.
    Result<Done> replace(const std::filesystem::path& p, std::string_view content);
    // As replace, but never over an existing file: then name_taken, and nothing changed.
    Result<Created> create(const std::filesystem::path& p, std::string_view content);
    // The names of the regular files in a folder; empty when it cannot be read.
    [[nodiscard]] std::vector<std::string> names(const std::filesystem::path& folder) const;
    bool remove(const std::filesystem::path& p);

protected:
    virtual std::error_code make_folders(const std::filesystem::path& folder);
    // mkstemp: the open descriptor, or -1 with errno set.
    virtual int make_temp(std::string& path_template);
    // write(2): bytes written, or -1 with errno set.
    virtual long write_some(int fd, const char* data, std::size_t size);

private:
    Result<Created> write(const std::filesystem::path& asked, std::string_view content, bool over);
    bool write_all(int fd, std::string_view content);
};

} // namespace trx::parafile
