#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trx::link {

// Body lengths (letter, payload and checksum digits) of the two parameter sets.
constexpr int k_short_para_body = 27;
constexpr int k_long_para_body = 83;

enum class ScannerType { za, ya, unknown };

// "ZA", "YA" or "??": the parameter window's type label, a parameter file's type and the
// command line's texts.
constexpr std::string_view type_text(ScannerType type) {
    switch (type) {
    case ScannerType::za:
        return "ZA";
    case ScannerType::ya:
        return "YA";
    case ScannerType::unknown:
        break;
    }
    return "??";
}

// The type a label or a file names; none for anything but "ZA" and "YA".
constexpr std::optional<ScannerType> scanner_type(std::string_view text) {
    for (const ScannerType t : {ScannerType::za, ScannerType::ya}) {
        if (text == type_text(t)) {
            return t;
        }
    }
    return std::nullopt;
}

// The parameter set as numbers on the wire, in frame order.
struct ParaSet {
    std::uint32_t serial_number = 0;
    std::uint32_t version = 0;    // software version times 100
    std::uint32_t speed = 0;      // tenths of turns per second
    std::uint32_t resolution = 0; // list position; 0xFFFF: none selected
    std::uint32_t switches = 0;   // bit 0 heater enable, bit 1 motor enable by software
    // The extended set ("YA").
    std::uint32_t gap_offset_abs = 0;
    std::uint32_t equal_tolerance_abs = 0;
    std::uint32_t min_modul_angle = 0;
    std::uint32_t max_modul_angle = 0;
    std::uint32_t can_baud_code = 0;   // list position + 1; 0: none
    std::uint32_t rs232_baud_code = 0; // list position + 1; 0: none
    std::uint32_t equal_tolerance_rel = 0;
    std::uint32_t gap_offset_rel = 0;
    std::uint32_t gap_correction = 0;
    std::uint32_t can_identifier = 0;

    bool operator==(const ParaSet&) const = default;
};

} // namespace trx::link
