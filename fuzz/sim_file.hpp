#pragma once

// The fuzz input as a file of the simulator's options: written once per input into the
// target's temporary folder (TMPDIR, in memory under scripts/fuzz.sh) and read back through
// the simulator's own bounded file read, as trx81500-sim reads it at start.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace sim_fuzz {

inline std::filesystem::path input_file(std::string_view name, const std::uint8_t* data,
                                        std::size_t size) {
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path p = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") /
                                    (std::string(name) + "-" + std::to_string(::getpid()));
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return p;
}

} // namespace sim_fuzz
