#pragma once

#include "flashlib/flash_layout.hpp"
#include "flashlib/hex_image.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trx::flash {

enum class HexProblem {
    none,
    cannot_read,
    not_a_regular_file,
    too_large,
    bad_character,
    wrong_length,
    bad_checksum,
    unknown_record_type,
    missing_end_record,
    overlapping_data,
    outside_flash,
    no_data,
    no_reset_vector,
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

// Files larger than this are refused before they are read.
constexpr std::uintmax_t k_max_hex_file = 16ULL * 1024 * 1024;

// Intel HEX (records 00 to 05, CR, LF or CR LF, digits in either case) checked against the
// flash it is meant for. Reading stops at the end record. With `reset_vector`, the image must
// hold the 4 bytes there, not all 0xFF: a firmware image brings its own start.
HexResult parse_intel_hex(std::string_view text, const FlashLayout& flash,
                          std::optional<std::uint32_t> reset_vector = std::nullopt);
// Only a regular file of at most k_max_hex_file bytes is read: a FIFO or a device picked by
// mistake is refused at once instead of blocking or reading without end.
HexResult read_intel_hex_file(const std::string& path, const FlashLayout& flash,
                              std::optional<std::uint32_t> reset_vector = std::nullopt);
// The check of a firmware file for the TRX81500 before anything is sent to the scanner.
HexResult read_firmware_file(const std::string& path);

} // namespace trx::flash
