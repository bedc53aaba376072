#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parameter set frame "W" (the same layout in both directions) and the index frame "L".
namespace trx::link {

// Body lengths (letter, payload and checksum digits) of the two parameter sets.
constexpr int k_short_para_body = 27;
constexpr int k_long_para_body = 83;

enum class ScannerType { za, ya, unknown };

// The parameter set as numbers on the wire.
struct ParaSet {
    std::uint32_t serial_number = 0;
    std::uint16_t version = 0;    // software version times 100
    std::uint16_t speed = 0;      // tenths of turns per second
    std::uint16_t resolution = 0; // list position; 0xFFFF: none selected
    std::uint16_t switches = 0;   // bit 0 heater enable, bit 1 motor enable by software
    // The extended set ("YA"), in frame order.
    std::uint16_t gap_offset_abs = 0;
    std::uint16_t equal_tolerance_abs = 0;
    std::uint16_t min_modul_angle = 0;
    std::uint16_t max_modul_angle = 0;
    std::uint8_t can_baud_code = 0;   // list position + 1; 0: none
    std::uint8_t rs232_baud_code = 0; // list position + 1; 0: none
    std::uint16_t equal_tolerance_rel = 0;
    std::uint16_t gap_offset_rel = 0;
    std::uint16_t gap_correction = 0;
    std::uint16_t can_identifier = 0;

    bool operator==(const ParaSet&) const = default;
};

// The fields of the short set, in frame order.
enum class ShortField { serial_number, version, speed, resolution, switches, count };

// A decoded "W" reply. A reply of unexpected length is read as a short set, but only the
// fields that lie wholly in its payload: a field is never made up from the checksum digits
// or from bytes an earlier, longer frame left behind.
struct ParaReply {
    ScannerType type = ScannerType::unknown;
    ParaSet set;
    int short_fields = 0; // how many short-set fields, counted in frame order, were read

    [[nodiscard]] bool has(ShortField f) const { return static_cast<int>(f) < short_fields; }
};

// body: the received frame body, "W" at position 0 and the checksum digits at the end.
// Blanks in the serial number field read as "0".
ParaReply decode_para_reply(std::string_view body);

// The payload as four-character fields in frame order: 6 for the short set, 20 with the
// extended one (the two baud codes share a field; five reserved "0000" close it).
std::vector<std::string> para_fields(const ParaSet& set, bool extended);

// The index of an "L" body as 0 to 65535; nullopt when its payload is shorter than four
// characters.
std::optional<std::uint16_t> decode_index_reply(std::string_view body);

} // namespace trx::link
