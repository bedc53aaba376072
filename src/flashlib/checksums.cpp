#include "flashlib/checksums.hpp"

#include <array>

namespace trx::flash {

namespace {

constexpr std::array<std::uint32_t, 256> make_crc32_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}

constexpr auto k_crc32_table = make_crc32_table();

std::uint32_t crc32_step(std::uint32_t c, std::uint8_t b) {
    return k_crc32_table[(c ^ b) & 0xFFU] ^ (c >> 8);
}

} // namespace

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

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    std::uint32_t c = ~crc;
    for (std::uint8_t b : bytes) {
        c = crc32_step(c, b);
    }
    return ~c;
}

std::uint32_t crc32_update_ff(std::uint32_t crc, std::size_t count) {
    std::uint32_t c = ~crc;
    for (std::size_t i = 0; i < count; ++i) {
        c = crc32_step(c, 0xFF);
    }
    return ~c;
}

} // namespace trx::flash
