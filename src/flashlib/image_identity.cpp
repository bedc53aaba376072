#include "flashlib/image_identity.hpp"

#include "base/numtext.hpp"
#include "flashlib/checksums.hpp"
#include "flashlib/frame_text.hpp"

#include <algorithm>

namespace trx::flash {

namespace {

constexpr std::uint8_t k_format = 1;
constexpr std::size_t k_checked = k_identity_size - 4; // the block's own CRC follows these

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The fields of a block whose magic and own CRC are right.
std::optional<ImageIdentity> parse_block(const std::array<std::uint8_t, k_identity_size>& b,
                                         std::uint32_t at) {
    if (get32(&b[k_checked]) != crc32(std::span(b).first(k_checked)) || b[16] != k_format) {
        return std::nullopt;
    }
    ImageIdentity id;
    id.types = b[17];
    id.version = get16(&b[18]);
    id.date = BuildDate{get16(&b[20]), b[22], b[23]};
    id.start = get32(&b[24]);
    id.end = get32(&b[28]);
    id.crc = get32(&b[32]);
    id.at = at;
    return id;
}

// Lowest data address and one past the highest; {0, 0} for an empty image.
std::pair<std::uint32_t, std::uint32_t> extent(const HexImage& image) {
    const auto& pages = image.pages();
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    bool first = true;
    for (const auto& [address, page] : pages) {
        for (std::size_t i = 0; i < HexImage::k_page; ++i) {
            if (page.present[i]) {
                const auto a = address + static_cast<std::uint32_t>(i);
                low = first ? a : low;
                high = a + 1;
                first = false;
            }
        }
    }
    return {low, high};
}

std::uint32_t image_crc(const HexImage& image, const ImageIdentity& id) {
    if (id.end <= id.start) {
        return 0;
    }
    return image.crc32(id.start, id.end - id.start,
                       HexImage::Hole{id.at, static_cast<std::uint32_t>(k_identity_size)});
}

bool magic_at(const HexImage& image, std::uint32_t a) {
    for (std::size_t i = 0; i < k_identity_magic.size(); ++i) {
        if (image.at(a + static_cast<std::uint32_t>(i)) != k_identity_magic[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::array<std::uint8_t, k_identity_size> identity_bytes(const ImageIdentity& id) {
    std::array<std::uint8_t, k_identity_size> b{};
    std::copy(k_identity_magic.begin(), k_identity_magic.end(), b.begin());
    b[16] = k_format;
    b[17] = id.types;
    put16(&b[18], id.version);
    put16(&b[20], id.date.year);
    b[22] = id.date.month;
    b[23] = id.date.day;
    put32(&b[24], id.start);
    put32(&b[28], id.end);
    put32(&b[32], id.crc);
    put32(&b[k_checked], crc32(std::span(b).first(k_checked)));
    return b;
}

IdentityFound find_identity(const HexImage& image) {
    for (const auto& [address, page] : image.pages()) {
        for (std::uint32_t off = 0; off < HexImage::k_page; off += k_identity_align) {
            if (page.bytes[off] != k_identity_magic[0] || !magic_at(image, address + off)) {
                continue;
            }
            std::array<std::uint8_t, k_identity_size> b{};
            for (std::size_t i = 0; i < b.size(); ++i) {
                b[i] = image.at(address + off + static_cast<std::uint32_t>(i));
            }
            IdentityFound found;
            const auto id = parse_block(b, address + off);
            if (!id) {
                found.kind = IdentityFound::Kind::damaged_block;
                found.identity.at = address + off;
                return found;
            }
            found.kind = IdentityFound::Kind::found;
            found.identity = *id;
            found.image_crc = image_crc(image, *id);
            return found;
        }
    }
    return {};
}

std::optional<ImageIdentity> identity_in(std::span<const std::uint8_t> content,
                                         std::uint32_t base) {
    for (std::size_t off = 0; off + k_identity_size <= content.size(); off += k_identity_align) {
        if (!std::equal(k_identity_magic.begin(), k_identity_magic.end(),
                        content.begin() + static_cast<std::ptrdiff_t>(off))) {
            continue;
        }
        std::array<std::uint8_t, k_identity_size> b{};
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(off), b.size(), b.begin());
        if (auto id = parse_block(b, base + static_cast<std::uint32_t>(off))) {
            return id;
        }
    }
    return std::nullopt;
}

std::uint32_t image_crc32(const HexImage& image) {
    const auto [low, high] = extent(image);
    return high > low ? image.crc32(low, high - low) : 0;
}

std::optional<HexImage> stamp_identity(const HexImage& image, ImageIdentity id,
                                       std::optional<std::uint32_t> at, const FlashLayout& flash,
                                       std::string& error) {
    if (image.empty()) {
        error = "the image holds no data";
        return std::nullopt;
    }
    if (find_identity(image).kind != IdentityFound::Kind::none) {
        error = "the image already carries an identity block";
        return std::nullopt;
    }
    const auto [low, high] = extent(image);
    const std::uint32_t place =
        at.value_or((high + HexImage::k_page - 1) / HexImage::k_page * HexImage::k_page);
    const std::uint64_t place_end = std::uint64_t{place} + k_identity_size;
    if (place % k_identity_align != 0) {
        error = "the block's address " + hex6(place) + " is not a multiple of 16";
        return std::nullopt;
    }
    if (!flash.contains(place) || !flash.contains(static_cast<std::uint32_t>(place_end - 1))) {
        error = "the block at " + hex6(place) + " would lie outside the flash";
        return std::nullopt;
    }
    if (image.has_data(place, place_end)) {
        error = "the image holds data at " + hex6(place) + ", where the block would go";
        return std::nullopt;
    }
    HexImage out = image;
    id.at = place;
    id.start = std::min(low, place);
    id.end = static_cast<std::uint32_t>(std::max<std::uint64_t>(high, place_end));
    // The block's bytes count as 0xFF in the CRC, so it can be computed before they exist.
    id.crc = image_crc(out, id);
    const auto bytes = identity_bytes(id);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        (void)out.put(place + static_cast<std::uint32_t>(i), bytes[i]);
    }
    return out;
}

std::string types_text(std::uint8_t types) {
    switch (types & k_for_any) {
    case k_for_za:
        return "ZA";
    case k_for_ya:
        return "YA";
    case k_for_any:
        return "any";
    default:
        return "none";
    }
}

std::optional<std::uint8_t> parse_types(const std::string& text) {
    if (text == "ZA" || text == "za") {
        return k_for_za;
    }
    if (text == "YA" || text == "ya") {
        return k_for_ya;
    }
    if (text == "any") {
        return k_for_any;
    }
    return std::nullopt;
}

std::string version_text(std::uint16_t version) {
    const std::string hundredths = num::dec(version % 100);
    return num::dec(version / 100) + "." + (hundredths.size() < 2 ? "0" : "") + hundredths;
}

std::optional<std::uint16_t> parse_version(const std::string& text) {
    const auto dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string frac = dot == std::string::npos ? "" : text.substr(dot + 1);
    const auto digits = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 3 || frac.size() > 2 || !digits(whole) || !digits(frac) ||
        (dot != std::string::npos && frac.empty())) {
        return std::nullopt;
    }
    int hundredths = frac.empty() ? 0 : std::stoi(frac);
    hundredths *= frac.size() == 1 ? 10 : 1;
    const long value = std::stol(whole) * 100 + hundredths;
    if (value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::string date_text(const BuildDate& d) {
    const auto two = [](int v) { return (v < 10 ? "0" : "") + num::dec(v); };
    return num::dec(d.year) + "-" + two(d.month) + "-" + two(d.day);
}

} // namespace trx::flash
