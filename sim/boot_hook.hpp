#pragma once

#include "sim/scanner.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace trx::sim {

// What the front knows for the flash target.
struct BootTargetSettings {
    std::filesystem::path flash_file; // empty: the flash memory lives in RAM only
    // The flash as the file held it at start, read before the front blocks its signals;
    // none: erased (no file given, or none there yet).
    std::optional<std::vector<std::uint8_t>> flash_content;
};

// The flash file's content for the settings, or why it is unusable ("FILE: reason"): not a
// regular file, or not exactly as large as the flash. A file that does not exist yet is
// none; the loader creates it at its first erase.
struct FlashFileRead {
    std::optional<std::vector<std::uint8_t>> content;
    std::string error;
};
FlashFileRead read_flash_file(const std::filesystem::path& file);

// The flash target's factory, defined by the flash target library (sim/flash/, CMake target
// trx_sim_flash). The flash file is written after every erase and program step, whole or not
// at all, so that a restarted simulator boots what the interrupted update left.
BootTargetFactory flash_target_factory(const BootTargetSettings& settings);

} // namespace trx::sim
