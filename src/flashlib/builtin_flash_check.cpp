// What the built-in library does beside programming: skipping sectors that hold the image
// already, the verify that writes nothing, and reading the flash back.
#include "base/numtext.hpp"
#include "flashlib/builtin_flash.hpp"

#include <bit>
#include <vector>

namespace trx::flash {

Outcome BuiltinFlash::sectors_to_erase(std::uint32_t mask, std::uint32_t& to_erase) {
    skipped_ = 0;
    to_erase = mask;
    // Without an image checked against this target there is nothing to compare with.
    if (!loaded_ || !(loaded_->layout == host_->target().layout) ||
        loaded_->reset_vector != host_->target().reset_vector || mask == 0 ||
        (mask & ~host_->target().layout.all_sectors_mask()) != 0) {
        return {};
    }
    std::uint32_t differing = 0;
    if (Outcome o = host_->compare(loaded_->image, mask, differing); !o.ok()) {
        return o;
    }
    // When anything changes, the vector's sector goes first and comes back last, so that a
    // cut at any moment leaves a controller that stays in its loader.
    const auto vector_sector = host_->target().layout.sector_of(host_->target().reset_vector);
    to_erase = differing;
    if (differing != 0 && vector_sector) {
        to_erase |= (1U << *vector_sector) & mask;
    }
    skipped_ = mask & ~to_erase;
    log_(LogLevel::info, [&] {
        return num::dec(std::popcount(skipped_)) + " of " + num::dec(std::popcount(mask)) +
               " sectors hold the image already and are skipped";
    });
    return {};
}

std::int32_t BuiltinFlash::skipped_sectors() const {
    return static_cast<std::int32_t>(std::popcount(skipped_));
}

std::int32_t BuiltinFlash::VerifyFlash(std::int32_t* differing) {
    if (differing == nullptr) {
        return fail("no place for the differing sectors");
    }
    if (!need_host() || !need_image()) {
        return 0;
    }
    if (!(loaded_->layout == host_->target().layout)) {
        return fail("the hex file was checked against another flash layout: load it again");
    }
    std::uint32_t mask = 0;
    const Outcome o =
        host_->compare(loaded_->image, loaded_->image.sector_mask(loaded_->layout), mask, true);
    if (o.ok()) {
        *differing = static_cast<std::int32_t>(mask);
    }
    return done(o);
}

std::int32_t BuiltinFlash::ReadFlash(std::uint32_t address, std::uint32_t length,
                                     std::uint8_t* buffer) {
    if (buffer == nullptr) {
        return fail("no buffer for the flash's bytes");
    }
    if (!need_host()) {
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    const Outcome o = host_->read(address, length, bytes);
    if (o.ok()) {
        std::copy(bytes.begin(), bytes.end(), buffer);
    }
    return done(o);
}

} // namespace trx::flash
