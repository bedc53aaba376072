#pragma once

#include "flashlib/protocol.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace trx::flash {

// An address of the flash, "0x00C000", and a 32-bit value, "0x1A2B3C4D", as log lines and
// failure reasons write them.
std::string hex6(std::uint32_t v);
std::string hex8(std::uint32_t v);

// One frame of the flash protocol in words, for the log: its type and sequence number, and
// what it carries where that says something (address, length, status, CRC), e.g.
// "DATA seq 12, 0x000100, 256 bytes" or "ACK seq 3, VERIFY_FAILED at 0x006010". A payload
// that does not read as its type's is said to be malformed.
std::string describe_frame(const proto::Frame& f);
// A text from the target as it can go into a log line: printable ASCII, anything else '?'.
std::string printable(std::string_view s);

} // namespace trx::flash
