#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace trx::sim {

// Faults the simulator puts on the wire, to test how the program copes. Rates are parts per
// million of the frames sent.
struct Faults {
    std::uint32_t bad_checksum_ppm = 0; // frame sent with a wrong checksum digit
    std::uint32_t garbage_ppm = 0;      // frame preceded by 1..16 random bytes
    std::uint32_t drop_ppm = 0;         // frame cut short: its end never arrives
    // From this time after start the scanner sends nothing, for silence_for or for good.
    std::optional<std::chrono::milliseconds> silence_after;
    std::optional<std::chrono::milliseconds> silence_for;
};

class FaultInjector {
public:
    static constexpr std::uint32_t k_million = 1'000'000;

    FaultInjector(Faults faults, std::uint32_t seed) : faults_(faults), rng_(seed) {}

    // A complete frame as it goes onto the wire, with the faults that hit it.
    std::string apply(std::string frame);
    // Whether the scanner is silent at this time since its start.
    [[nodiscard]] bool silent(std::chrono::nanoseconds since_start) const;
    // The next time (since start) at which silent() changes; nullopt when it never will.
    [[nodiscard]] std::optional<std::chrono::nanoseconds>
    next_change(std::chrono::nanoseconds since_start) const;

private:
    bool hit(std::uint32_t ppm);
    std::uint32_t uniform(std::uint32_t low, std::uint32_t high);

    Faults faults_;
    std::mt19937 rng_;
};

} // namespace trx::sim
