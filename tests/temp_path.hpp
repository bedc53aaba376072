#pragma once

// Paths in the temporary folder that no other test process uses at the same time.
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace trx::test {

inline std::filesystem::path temp_file(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string(name) + std::to_string(::getpid()));
}

// A fresh folder, removed with everything in it when the object goes (declared before what
// writes into it, it outlives the writer).
class TempFolder {
public:
    explicit TempFolder(const char* prefix = "trx-test-") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    TempFolder(TempFolder&&) = delete;
    TempFolder& operator=(TempFolder&&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace trx::test
