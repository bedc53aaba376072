#pragma once

#include "flashlib/flash_layout.hpp"
#include "flashlib/hex_image.hpp"

#include <string>
#include <string_view>

namespace trx::flash {

enum class HexProblem {
    none,
    cannot_read,
    bad_character,
    wrong_length,
    bad_checksum,
    unknown_record_type,
    missing_end_record,
    overlapping_data,
    outside_flash,
    no_data,
};

struct HexError {
    HexProblem problem = HexProblem::none;
    int line = 0;        // 1-based; 0 when the file could not be read
    std::string message; // "line 7: bad checksum ..."
};

struct HexResult {
    HexImage image;
    HexError error;
    [[nodiscard]] bool ok() const { return error.problem == HexProblem::none; }
};

// Intel HEX (records 00 to 05, CR, LF or CR LF, digits in either case) checked against the
// flash it is meant for. Reading stops at the end record.
HexResult parse_intel_hex(std::string_view text, const FlashLayout& flash);
HexResult read_intel_hex_file(const std::string& path, const FlashLayout& flash);

} // namespace trx::flash
