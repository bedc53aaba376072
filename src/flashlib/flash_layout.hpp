#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trx::flash {

struct Sector {
    std::uint32_t start = 0;
    std::uint32_t size = 0;
    [[nodiscard]] std::uint64_t end() const { return std::uint64_t{start} + size; }
    friend bool operator==(const Sector&, const Sector&) = default;
};

// The sectors of a target's flash in address order, as the target reports them.
struct FlashLayout {
    static constexpr std::size_t k_max_sectors = 24;
    std::vector<Sector> sectors;

    [[nodiscard]] std::optional<std::size_t> sector_of(std::uint32_t address) const;
    [[nodiscard]] bool contains(std::uint32_t address) const {
        return sector_of(address).has_value();
    }
    // Every sector bit that can be set in a sector mask.
    [[nodiscard]] std::uint32_t all_sectors_mask() const;
    // Empty when the layout is usable: 1 to 24 sectors in address order, not overlapping,
    // each a non-zero multiple of 256 bytes on a 256-byte boundary.
    [[nodiscard]] std::string problem() const;
    friend bool operator==(const FlashLayout&, const FlashLayout&) = default;
};

// The TRX81500 controller's flash: 256 KiB at 0, seven sectors of 16, 8, 8, 32, 64, 64 and
// 64 KiB (bottom boot-block layout).
FlashLayout trx81500_layout();
// Where the TRX81500 controller starts: the 4 bytes at the bottom of its flash.
constexpr std::uint32_t k_trx81500_reset_vector = 0x000000;

// "sector 4 (0x010000, 64 KiB)", for messages.
std::string describe_sector(const FlashLayout& layout, std::size_t index);

} // namespace trx::flash
