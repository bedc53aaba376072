#pragma once

#include "flashlib/protocol.hpp"

#include <string>
#include <string_view>

namespace trx::flash {

// One frame of the flash protocol in words, for the log: its type and sequence number, and
// what it carries where that says something (address, length, status, CRC), e.g.
// "DATA seq 12, 0x000100, 256 bytes" or "ACK seq 3, VERIFY_FAILED at 0x006010". A payload
// that does not read as its type's is said to be malformed.
std::string describe_frame(const proto::Frame& f);
// A text from the target as it can go into a log line: printable ASCII, anything else '?'.
std::string printable(std::string_view s);

} // namespace trx::flash
