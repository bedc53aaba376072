#pragma once

#include "sim/options.hpp"
#include "sim/scanner.hpp"

#include <optional>
#include <string>

namespace trx::sim {

struct SetupResult {
    std::optional<ScannerConfig> config;
    std::string error; // a scene or state file that could not be read, with its line
};

// The scanner the options describe: type, scene file, kept state, pace and faults.
SetupResult make_config(const Options& o);

} // namespace trx::sim
