#pragma once

#include "base/crc32.hpp"

#include <cstdint>
#include <span>
#include <string_view>

namespace trx::flash {

// CRC-16/CCITT-FALSE (poly 0x1021, init 0xFFFF): the frame check of the flash protocol.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// CRC-32 (IEEE 802.3): the read-back check of flash contents.
using trx::crc32_update;
using trx::crc32_update_ff;
inline std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    return crc32_update(0, bytes);
}

inline std::span<const std::uint8_t> as_bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

} // namespace trx::flash
