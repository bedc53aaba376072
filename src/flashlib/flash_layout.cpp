#include "flashlib/flash_layout.hpp"

#include "base/numtext.hpp"

namespace trx::flash {

std::optional<std::size_t> FlashLayout::sector_of(std::uint32_t address) const {
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if (address >= sectors[i].start && address < sectors[i].end()) {
            return i;
        }
    }
    return std::nullopt;
}

std::uint32_t FlashLayout::all_sectors_mask() const {
    return sectors.size() >= 32 ? 0xFFFFFFFFU : (1U << sectors.size()) - 1U;
}

std::string FlashLayout::problem() const {
    if (sectors.empty() || sectors.size() > k_max_sectors) {
        return "the target reports " + num::dec(static_cast<std::int64_t>(sectors.size())) +
               " flash sectors (1 to 24 are possible)";
    }
    std::uint64_t previous_end = 0;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const Sector& s = sectors[i];
        const bool aligned = s.size != 0 && s.size % 256 == 0 && s.start % 256 == 0;
        if (!aligned || s.start < previous_end || s.end() > 0x100000000ULL) {
            return "the target reports an unusable flash sector " +
                   num::dec(static_cast<std::int64_t>(i));
        }
        previous_end = s.end();
    }
    return {};
}

FlashLayout trx81500_layout() {
    constexpr std::uint32_t k = 1024;
    return FlashLayout{{{0x000000, 16 * k},
                        {0x004000, 8 * k},
                        {0x006000, 8 * k},
                        {0x008000, 32 * k},
                        {0x010000, 64 * k},
                        {0x020000, 64 * k},
                        {0x030000, 64 * k}}};
}

std::string describe_sector(const FlashLayout& layout, std::size_t index) {
    const Sector& s = layout.sectors.at(index);
    const std::string size =
        s.size % 1024 == 0 ? num::dec(s.size / 1024) + " KiB" : num::dec(s.size) + " bytes";
    return "sector " + num::dec(static_cast<std::int64_t>(index)) + " (0x" +
           num::hex_upper(s.start, 6) + ", " + size + ")";
}

} // namespace trx::flash
