#pragma once

#include "flashlib/flash_layout.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace trx::sim {

// The controller's flash: NOR cells that erase to 0xFF by sector and program by clearing
// bits. Counts how often each byte was programmed since its erase, so a test can see a block
// programmed twice.
class FlashMemory {
public:
    explicit FlashMemory(flash::FlashLayout layout);

    [[nodiscard]] const flash::FlashLayout& layout() const { return layout_; }
    [[nodiscard]] std::uint32_t base() const { return base_; }
    // Whether [address, address + length) lies in the flash.
    [[nodiscard]] bool contains(std::uint32_t address, std::uint64_t length) const;
    [[nodiscard]] std::uint8_t read(std::uint32_t address) const;
    // All of the flash from base(), as it reads.
    [[nodiscard]] std::span<const std::uint8_t> content() const { return cells_; }
    [[nodiscard]] std::span<const std::uint8_t> sector_content(std::size_t index) const;

    void erase_sector(std::size_t index);
    // Clears the bits that are 0 in `data`; the range must lie in the flash.
    void program(std::uint32_t address, std::span<const std::uint8_t> data);
    // Sets content directly (the state before an update), every byte counted as unprogrammed.
    void load(std::span<const std::uint8_t> content);
    // One bit that reads `value` whatever is erased or programmed.
    void stick_bit(std::uint32_t address, int bit, bool value);

    [[nodiscard]] std::uint32_t crc32(std::uint32_t address, std::uint32_t length) const;
    // Address of the first byte in [address, address + length) that is not 0xFF.
    [[nodiscard]] std::optional<std::uint32_t> first_not_blank(std::uint32_t address,
                                                               std::uint32_t length) const;

    [[nodiscard]] std::uint64_t program_operations() const { return program_operations_; }
    // Grows with every erase, program and load: what a copy on disk compares against.
    [[nodiscard]] std::uint64_t changes() const { return changes_; }
    // Bytes programmed more than once since their last erase.
    [[nodiscard]] std::uint64_t reprogrammed_bytes() const;

private:
    struct Stuck {
        std::uint32_t offset;
        std::uint8_t mask;
        bool value;
    };
    [[nodiscard]] std::size_t offset(std::uint32_t address) const { return address - base_; }
    void apply_stuck_bits();

    flash::FlashLayout layout_;
    std::uint32_t base_ = 0;
    std::vector<std::uint8_t> cells_;
    std::vector<std::uint8_t> program_count_;
    std::vector<Stuck> stuck_;
    std::uint64_t program_operations_ = 0;
    std::uint64_t changes_ = 0;
};

} // namespace trx::sim
