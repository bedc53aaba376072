#pragma once

#include "sim/scanner.hpp"

#include <filesystem>

namespace trx::sim {

// What the front knows for the flash target.
struct BootTargetSettings {
    std::filesystem::path flash_file; // empty: the flash memory lives in RAM only
};

// The flash target's factory, defined by the flash target library (sim/flash/, CMake target
// trx_sim_flash).
BootTargetFactory flash_target_factory(const BootTargetSettings& settings);

} // namespace trx::sim
