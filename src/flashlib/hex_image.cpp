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

bool HexImage::holds(std::uint32_t begin, std::uint32_t count) const {
    for (std::uint64_t a = begin; a < std::uint64_t{begin} + count; ++a) {
        auto it = pages_.find(page_of(static_cast<std::uint32_t>(a)));
        if (it == pages_.end() || !it->second.present[a % k_page]) {
            return false;
        }
    }
    return true;
}

std::uint32_t HexImage::crc32_continue(std::uint32_t crc, std::uint64_t at,
                                       std::uint64_t end) const {
    if (at >= end) {
        return crc;
    }
    for (auto it = pages_.lower_bound(page_of(static_cast<std::uint32_t>(at)));
         it != pages_.end() && it->first < end; ++it) {
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

std::uint32_t HexImage::crc32(std::uint32_t start, std::uint32_t length, Hole as_erased) const {
    const std::uint64_t end = std::uint64_t{start} + length;
    const std::uint64_t hole_begin = std::clamp<std::uint64_t>(as_erased.start, start, end);
    const std::uint64_t hole_end =
        std::clamp<std::uint64_t>(std::uint64_t{as_erased.start} + as_erased.size, hole_begin, end);
    std::uint32_t crc = crc32_continue(0, start, hole_begin);
    crc = crc32_update_ff(crc, hole_end - hole_begin);
    return crc32_continue(crc, hole_end, end);
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
