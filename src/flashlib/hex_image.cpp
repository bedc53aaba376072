#include "flashlib/hex_image.hpp"

#include "flashlib/checksums.hpp"

#include <algorithm>

namespace trx::flash {

namespace {
std::uint32_t page_of(std::uint32_t address) {
    return address - address % HexImage::k_page;
}
} // namespace

HexImage::Put HexImage::put(std::uint32_t address, std::uint8_t value) {
    Page& page = pages_[page_of(address)];
    const std::size_t i = address % k_page;
    if (page.present[i]) {
        return page.bytes[i] == value ? Put::same : Put::differs;
    }
    page.present[i] = true;
    page.bytes[i] = value;
    ++size_;
    return Put::stored;
}

std::uint8_t HexImage::at(std::uint32_t address) const {
    auto it = pages_.find(page_of(address));
    return it == pages_.end() ? 0xFF : it->second.bytes[address % k_page];
}

bool HexImage::has_data(std::uint32_t begin, std::uint64_t end) const {
    for (auto it = pages_.lower_bound(page_of(begin)); it != pages_.end() && it->first < end;
         ++it) {
        for (std::size_t i = 0; i < k_page; ++i) {
            const std::uint64_t a = std::uint64_t{it->first} + i;
            if (it->second.present[i] && a >= begin && a < end) {
                return true;
            }
        }
    }
    return false;
}

std::uint32_t HexImage::crc32(std::uint32_t start, std::uint32_t length) const {
    std::uint32_t crc = 0;
    std::uint64_t at = start;
    const std::uint64_t end = std::uint64_t{start} + length;
    for (auto it = pages_.lower_bound(page_of(start)); it != pages_.end() && it->first < end;
         ++it) {
        const std::uint64_t page_begin = std::max<std::uint64_t>(it->first, at);
        const std::uint64_t page_end = std::min<std::uint64_t>(it->first + k_page, end);
        crc = crc32_update_ff(crc, page_begin - at);
        crc = crc32_update(
            crc,
            std::span(it->second.bytes).subspan(page_begin - it->first, page_end - page_begin));
        at = page_end;
    }
    return crc32_update_ff(crc, end - at);
}

std::uint32_t HexImage::sector_mask(const FlashLayout& layout) const {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < layout.sectors.size() && i < 32; ++i) {
        if (has_data(layout.sectors[i].start, layout.sectors[i].end())) {
            mask |= 1U << i;
        }
    }
    return mask;
}

} // namespace trx::flash
