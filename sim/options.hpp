#pragma once

#include "sim/faults.hpp"
#include "sim/param_set.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trx::sim {

// The command line of trx81500-sim.
struct Options {
    ScannerType type = ScannerType::ya;
    std::filesystem::path scene_file; // empty: the built-in scene
    std::filesystem::path state_file; // empty: nothing kept across runs
    std::filesystem::path link;       // empty: no symbolic link
    std::filesystem::path flash_file; // empty: the flash target keeps its memory in RAM
    bool pace = false;
    bool quiet = false; // events unsaid: only the device and errors are printed
    Faults faults;
    std::uint32_t seed = 1;
    std::uint32_t cable_max_baud = 0; // 0: the cable carries any rate
};

struct OptionsResult {
    std::optional<Options> options;
    bool help = false; // --help: print help_text() and end
    std::string error; // set when the line could not be read
};

// The arguments after the program name.
OptionsResult parse_options(const std::vector<std::string_view>& args);
std::string help_text();

} // namespace trx::sim
