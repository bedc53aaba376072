#include "flashlib/checksums.hpp"

namespace trx::flash {

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ (b << 8));
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 0x8000U) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021U)
                                       : static_cast<std::uint16_t>(crc << 1);
        }
    }
    return crc;
}

} // namespace trx::flash
