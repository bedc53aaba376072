#include "sim/faults.hpp"

#include "base/numtext.hpp"

namespace trx::sim {

bool FaultInjector::hit(std::uint32_t ppm) {
    return ppm > 0 && uniform(0, k_million - 1) < ppm;
}

std::uint32_t FaultInjector::uniform(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng_);
}

std::string FaultInjector::apply(std::string frame) {
    // Frames are STX, letter, payload, two checksum digits, ETX: at least five bytes.
    if (frame.size() >= 5 && hit(faults_.bad_checksum_ppm)) {
        char& low_digit = frame[frame.size() - 2];
        // Any of the fifteen other digits: the sum can never match by chance.
        const auto d = static_cast<std::uint32_t>(num::hex_digit(low_digit));
        low_digit = num::hex_char(d + uniform(1, 15));
    }
    if (!frame.empty() && hit(faults_.drop_ppm)) {
        frame.resize(uniform(0, static_cast<std::uint32_t>(frame.size() - 1)));
    }
    if (hit(faults_.garbage_ppm)) {
        std::string garbage(uniform(1, 16), '\0');
        for (char& c : garbage) {
            c = static_cast<char>(uniform(0, 255));
        }
        frame.insert(0, garbage);
    }
    return frame;
}

bool FaultInjector::silent(std::chrono::nanoseconds since_start) const {
    if (!faults_.silence_after || since_start < *faults_.silence_after) {
        return false;
    }
    return !faults_.silence_for || since_start < *faults_.silence_after + *faults_.silence_for;
}

std::optional<std::chrono::nanoseconds>
FaultInjector::next_change(std::chrono::nanoseconds since_start) const {
    if (!faults_.silence_after) {
        return std::nullopt;
    }
    if (since_start < *faults_.silence_after) {
        return *faults_.silence_after;
    }
    if (faults_.silence_for && since_start < *faults_.silence_after + *faults_.silence_for) {
        return *faults_.silence_after + *faults_.silence_for;
    }
    return std::nullopt;
}

} // namespace trx::sim
