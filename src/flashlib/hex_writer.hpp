#pragma once

#include "flashlib/hex_image.hpp"

#include <string>

namespace trx::flash {

// The image as Intel HEX: extended linear address records, up to 32 data bytes a record
// (runs of present bytes only, so gaps stay gaps), CR LF line ends, the end record last.
std::string write_intel_hex(const HexImage& image);

} // namespace trx::flash
