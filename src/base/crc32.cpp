#include "base/crc32.hpp"

#include <array>

namespace trx {

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

} // namespace trx
