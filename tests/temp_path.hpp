#pragma once

// A path in the temporary folder that no other test process uses at the same time.
#include <filesystem>
#include <string>
#include <unistd.h>

namespace trx::test {

inline std::filesystem::path temp_file(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string(name) + std::to_string(::getpid()));
}

} // namespace trx::test
