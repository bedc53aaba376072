#pragma once

#include "flashlib/flash_layout.hpp"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>

namespace trx::flash {

// The data of a hex file by absolute address, kept in 256-byte pages (the protocol's blocks).
// Addresses without data read as 0xFF, like erased flash.
class HexImage {
public:
    static constexpr std::uint32_t k_page = 256;
    struct Page {
        Page() { bytes.fill(0xFF); }
        std::array<std::uint8_t, k_page> bytes;
        std::bitset<k_page> present;
    };

    enum class Put { stored, same, differs };
    // A second value for an address that already has data is refused (`differs`).
    Put put(std::uint32_t address, std::uint8_t value);

    // Number of addresses holding data.
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::uint8_t at(std::uint32_t address) const;
    // Whether any address in [begin, end) holds data.
    [[nodiscard]] bool has_data(std::uint32_t begin, std::uint64_t end) const;
    // Pages by their start address.
    [[nodiscard]] const std::map<std::uint32_t, Page>& pages() const { return pages_; }
    // Whether every address in [begin, begin + count) holds data.
    [[nodiscard]] bool holds(std::uint32_t begin, std::uint32_t count) const;
    // A range that reads as erased (0xFF) whatever the image holds there.
    struct Hole {
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };
    // CRC-32 of [start, start + length) as the flash should read after programming, the
    // bytes of `as_erased` taken as 0xFF.
    [[nodiscard]] std::uint32_t crc32(std::uint32_t start, std::uint32_t length,
                                      Hole as_erased) const;
    [[nodiscard]] std::uint32_t crc32(std::uint32_t start, std::uint32_t length) const {
        return crc32(start, length, Hole{});
    }
    // Bit i set when sector i of the layout holds data.
    [[nodiscard]] std::uint32_t sector_mask(const FlashLayout& layout) const;

private:
    [[nodiscard]] std::uint32_t crc32_continue(std::uint32_t crc, std::uint64_t start,
                                               std::uint64_t end) const;

    std::map<std::uint32_t, Page> pages_;
    std::size_t size_ = 0;
};

} // namespace trx::flash
