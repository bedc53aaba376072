#pragma once

#include "sim/param_set.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trx::sim {

// What the scanner keeps across power cycles: its parameter set (serial number included)
// and its index. The software version is the firmware's and is not kept.
struct SimState {
    ParamSet params;
    std::uint16_t index = 1;

    bool operator==(const SimState&) const = default;
};

struct StateResult {
    std::optional<SimState> state;
    std::string error;
};

// "key value" lines, values in decimal, "#" starts a comment. Keys not given keep the
// values of `base`. Values need only fit their field, so a file can hold a set out of
// range, to see how the program reports it.
StateResult parse_state(std::string_view text, const SimState& base);
std::string format_state(const SimState& s);

// Reads the file; a file that does not exist gives `base` (it is written on the first
// store).
StateResult load_state(const std::filesystem::path& file, const SimState& base);
// Writes a temporary file beside it, then renames it over it; an error text, empty on
// success.
std::string save_state(const std::filesystem::path& file, const SimState& s);

} // namespace trx::sim
