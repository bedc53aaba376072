#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trx {

// CRC-32 as in IEEE 802.3 (zlib's crc32): the flash read-back check and the capture records.
// `crc32_update` continues a running value so that a range can be summed in pieces; start
// with 0.
[[nodiscard]] std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
// The same over `count` bytes of 0xFF, without building them.
[[nodiscard]] std::uint32_t crc32_update_ff(std::uint32_t crc, std::size_t count);

} // namespace trx
