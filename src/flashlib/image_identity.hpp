#pragma once

#include "flashlib/flash_layout.hpp"
#include "flashlib/hex_image.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The identity block a firmware image may carry (docs/firmware-image.md): which scanner type
// it is for, its version, its build date and a CRC-32 over the image that leaves the block
// out.
namespace trx::flash {

inline constexpr std::size_t k_identity_size = 40;
inline constexpr std::uint32_t k_identity_align = 16;
inline constexpr std::array<std::uint8_t, 16> k_identity_magic{
    0x7F, 'T', 'R', 'X', 'F', 'W', 'I', 'D', 0xA5, 0x5A, 0xC3, 0x3C, 0x96, 0x69, 0x0F, 0xF0};

// Scanner types an image is for: bit 0 ZA, bit 1 YA.
inline constexpr std::uint8_t k_for_za = 0x01;
inline constexpr std::uint8_t k_for_ya = 0x02;
inline constexpr std::uint8_t k_for_any = k_for_za | k_for_ya;

struct BuildDate {
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    friend bool operator==(const BuildDate&, const BuildDate&) = default;
};

struct ImageIdentity {
    std::uint8_t types = k_for_any;
    std::uint16_t version = 0; // times 100, as the scanner's "W" reply carries it
    BuildDate date;
    std::uint32_t start = 0; // the range the CRC covers
    std::uint32_t end = 0;   // exclusive
    std::uint32_t crc = 0;   // of [start, end), gaps and the block itself as 0xFF
    std::uint32_t at = 0;    // where the block stands
};

// What an image says about itself.
struct IdentityFound {
    enum class Kind { none, found, damaged_block };
    Kind kind = Kind::none;
    ImageIdentity identity;
    std::uint32_t image_crc = 0; // the CRC the image has over the block's range
    [[nodiscard]] bool crc_matches() const { return image_crc == identity.crc; }
};

// The block's 40 bytes for an identity.
std::array<std::uint8_t, k_identity_size> identity_bytes(const ImageIdentity& id);
// The first block on a 16-byte boundary whose magic is there. A block whose own check fails
// is damaged_block.
IdentityFound find_identity(const HexImage& image);
// The same in a flash's content read from `base`; the CRC is not looked at.
std::optional<ImageIdentity> identity_in(std::span<const std::uint8_t> content, std::uint32_t base);

// CRC-32 from the image's lowest to its highest data byte, gaps as 0xFF: the image's own,
// identity block or not.
std::uint32_t image_crc32(const HexImage& image);

// A copy of `image` with a block: at `at` (16-byte aligned, free of data, inside `flash`) or,
// without it, in the first free 256-byte block after the image's data. Empty with the reason
// in `error` when it cannot be placed.
std::optional<HexImage> stamp_identity(const HexImage& image, ImageIdentity id,
                                       std::optional<std::uint32_t> at, const FlashLayout& flash,
                                       std::string& error);

// "ZA", "YA" or "any"; and back (nullopt for anything else).
std::string types_text(std::uint8_t types);
std::optional<std::uint8_t> parse_types(const std::string& text);
// "1.10"; and back from "1.10", "1.1" or "2" (nullopt for anything else or above 655.35).
std::string version_text(std::uint16_t version);
std::optional<std::uint16_t> parse_version(const std::string& text);
// "2026-12-09".
std::string date_text(const BuildDate& d);

} // namespace trx::flash
