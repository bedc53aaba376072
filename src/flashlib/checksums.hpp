#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace trx::flash {

// CRC-16/CCITT-FALSE (poly 0x1021, init 0xFFFF): the frame check of the flash protocol.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// CRC-32 as in IEEE 802.3 (zlib's crc32): the read-back check of flash contents. `crc32_update`
// continues a running value so that a range can be summed in pieces; start with 0.
std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
inline std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    return crc32_update(0, bytes);
}
// The same over `count` bytes of 0xFF, without building them.
std::uint32_t crc32_update_ff(std::uint32_t crc, std::size_t count);

inline std::span<const std::uint8_t> as_bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

} // namespace trx::flash
