#include "sim/flash/flash_memory.hpp"

#include "flashlib/checksums.hpp"

#include <algorithm>
#include <stdexcept>

namespace trx::sim {

FlashMemory::FlashMemory(flash::FlashLayout layout) : layout_(std::move(layout)) {
    if (!layout_.problem().empty()) {
        throw std::invalid_argument("unusable flash layout: " + layout_.problem());
    }
    base_ = layout_.sectors.front().start;
    const auto size = static_cast<std::size_t>(layout_.sectors.back().end() - base_);
    cells_.assign(size, 0xFF);
    program_count_.assign(size, 0);
}

bool FlashMemory::contains(std::uint32_t address, std::uint64_t length) const {
    if (length == 0) {
        return layout_.contains(address);
    }
    const std::uint64_t last = std::uint64_t{address} + length - 1;
    if (last > 0xFFFFFFFFULL) {
        return false;
    }
    // Every sector from the first to the last must be present (the layout may have holes).
    for (auto a = std::uint64_t{address}; a <= last;) {
        const auto s = layout_.sector_of(static_cast<std::uint32_t>(a));
        if (!s) {
            return false;
        }
        a = layout_.sectors[*s].end();
    }
    return true;
}

std::uint8_t FlashMemory::read(std::uint32_t address) const {
    return cells_.at(offset(address));
}

std::span<const std::uint8_t> FlashMemory::sector_content(std::size_t index) const {
    const flash::Sector& s = layout_.sectors.at(index);
    return std::span(cells_).subspan(offset(s.start), s.size);
}

void FlashMemory::erase_sector(std::size_t index) {
    const flash::Sector& s = layout_.sectors.at(index);
    std::fill_n(cells_.begin() + static_cast<std::ptrdiff_t>(offset(s.start)), s.size, 0xFF);
    std::fill_n(program_count_.begin() + static_cast<std::ptrdiff_t>(offset(s.start)), s.size, 0);
    ++changes_;
    apply_stuck_bits();
}

void FlashMemory::program(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (!contains(address, data.size())) {
        throw std::out_of_range("program outside the flash");
    }
    ++program_operations_;
    ++changes_;
    for (std::size_t i = 0; i < data.size(); ++i) {
        cells_[offset(address) + i] &= data[i];
        std::uint8_t& n = program_count_[offset(address) + i];
        n = static_cast<std::uint8_t>(std::min(n + 1, 255));
    }
    apply_stuck_bits();
}

void FlashMemory::load(std::span<const std::uint8_t> content) {
    if (content.size() != cells_.size()) {
        throw std::invalid_argument("flash content of the wrong size");
    }
    std::copy(content.begin(), content.end(), cells_.begin());
    std::fill(program_count_.begin(), program_count_.end(), 0);
    ++changes_;
    apply_stuck_bits();
}

void FlashMemory::stick_bit(std::uint32_t address, int bit, bool value) {
    stuck_.push_back(Stuck{static_cast<std::uint32_t>(offset(address)),
                           static_cast<std::uint8_t>(1U << (bit & 7)), value});
    apply_stuck_bits();
}

void FlashMemory::apply_stuck_bits() {
    for (const Stuck& s : stuck_) {
        std::uint8_t& cell = cells_.at(s.offset);
        cell = s.value ? static_cast<std::uint8_t>(cell | s.mask)
                       : static_cast<std::uint8_t>(cell & ~s.mask);
    }
}

std::uint32_t FlashMemory::crc32(std::uint32_t address, std::uint32_t length) const {
    return flash::crc32(std::span(cells_).subspan(offset(address), length));
}

std::optional<std::uint32_t> FlashMemory::first_not_blank(std::uint32_t address,
                                                          std::uint32_t length) const {
    const auto range = std::span(cells_).subspan(offset(address), length);
    const auto it =
        std::find_if(range.begin(), range.end(), [](std::uint8_t b) { return b != 0xFF; });
    if (it == range.end()) {
        return std::nullopt;
    }
    return address + static_cast<std::uint32_t>(it - range.begin());
}

std::uint64_t FlashMemory::reprogrammed_bytes() const {
    return static_cast<std::uint64_t>(std::count_if(program_count_.begin(), program_count_.end(),
                                                    [](std::uint8_t n) { return n > 1; }));
}

} // namespace trx::sim
