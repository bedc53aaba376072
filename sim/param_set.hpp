#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trx::sim {

// "ZA" sends and takes the short parameter set and stripe records without code; "YA" the
// extended set and records with a tag code.
enum class ScannerType { za, ya };

std::string_view type_name(ScannerType t);
std::optional<ScannerType> type_from_name(std::string_view name);

// Characters of the "W" payload: 24 for the short set, 80 for the extended one.
std::size_t param_payload_length(ScannerType t);
// Stripe records that fit the host's 500-byte receive buffer: 60 of 8 characters, 48 of 10.
std::size_t max_records(ScannerType t);
std::size_t record_length(ScannerType t);

// Increments per turn for a resolution list position 0..5; nullopt for any other.
std::optional<std::int32_t> resolution_increments(std::uint16_t position);

// The scanner's parameter set, field by field as it travels in the "W" frame.
struct ParamSet {
    std::uint32_t serial = 1223476;
    std::uint16_t version = 0x006D; // 1,09
    std::uint16_t speed = 100;      // tenths of turns per second, 60..180
    std::uint16_t resolution = 0;   // list position, 0..5 (8192 increments)
    std::uint16_t switches = 3;     // bit 0 heater enable, bit 1 motor enable by software
    std::uint16_t gap_offset_abs = 5;
    std::uint16_t equal_tolerance_abs = 5;
    std::uint16_t min_modul_angle = 10;
    std::uint16_t max_modul_angle = 100;
    std::uint8_t can_baudrate = 3;   // 250 kbit/s
    std::uint8_t rs232_baudrate = 4; // 57600 bit/s
    std::uint16_t equal_tolerance_rel = 20;
    std::uint16_t gap_offset_rel = 20;
    std::uint16_t gap_correction = 100;
    std::uint16_t can_identifier = 0x123;

    bool operator==(const ParamSet&) const = default;
};

// Whether every checked field lies in its accepted range (the fields the scanner's own
// reply is judged by).
bool in_range(const ParamSet& p, ScannerType t);

// The payload of the scanner's "W" reply: upper-case hex, 24 or 80 characters.
std::string encode_params(const ParamSet& p, ScannerType t);

// A "W" command's payload taken into the set. Only a payload of the type's length, all hex
// digits, with every field in range is accepted. The software version is the firmware's and
// stays; a short set leaves the extended fields as they were.
std::optional<ParamSet> decode_params(std::string_view payload, ScannerType t,
                                      const ParamSet& current);

} // namespace trx::sim
