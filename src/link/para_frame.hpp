#pragma once

#include "link/para_catalogue.hpp"
#include "link/para_set.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parameter set frame "W" (the same layout in both directions) and the index frame "L".
namespace trx::link {

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
    // Whether the reply carries this catalogue field.
    [[nodiscard]] bool has(const ParaFieldDef& f) const;
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
