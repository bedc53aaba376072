#include "service/image_check.hpp"

#include "flashlib/frame_text.hpp"
#include "flashlib/hex_reader.hpp"
#include "link/para_set.hpp"

namespace trx::service {

namespace {

std::uint8_t type_bit(link::ScannerType t) {
    switch (t) {
    case link::ScannerType::za:
        return flash::k_for_za;
    case link::ScannerType::ya:
        return flash::k_for_ya;
    case link::ScannerType::unknown:
        break;
    }
    return 0;
}

} // namespace

ScannerFacts facts_from(const link::ParaReply& reply) {
    ScannerFacts f;
    if (reply.type != link::ScannerType::unknown) {
        f.type = reply.type;
    }
    if (reply.has(link::ShortField::version)) {
        f.version = reply.set.version;
    }
    f.serial = reply.set.serial_number;
    return f;
}

std::string ImageCheck::summary() const {
    using Kind = flash::IdentityFound::Kind;
    if (found.kind == Kind::none) {
        return "no identity";
    }
    if (found.kind == Kind::damaged_block) {
        return "damaged identity block at " + flash::hex6(found.identity.at);
    }
    const flash::ImageIdentity& id = found.identity;
    return flash::types_text(id.types) + ", version " + flash::version_text(id.version) +
           ", built " + flash::date_text(id.date) + ", CRC " + flash::hex8(id.crc) +
           (found.crc_matches() ? "" : " (the image's is " + flash::hex8(found.image_crc) + ")");
}

std::string ImageCheck::log_line() const {
    return "Image: " + summary();
}

ImageCheck judge_image(const flash::HexImage& image, const ScannerFacts& scanner) {
    ImageCheck c;
    c.found = flash::find_identity(image);
    using Kind = flash::IdentityFound::Kind;
    c.image_crc = c.found.kind == Kind::found ? c.found.image_crc : flash::image_crc32(image);
    if (c.found.kind == Kind::none) {
        return c;
    }
    if (c.found.kind == Kind::damaged_block || !c.found.crc_matches()) {
        c.verdict = ImageVerdict::damaged;
        c.reason = "The image is damaged: " + c.summary() + ".";
        return c;
    }
    const flash::ImageIdentity& id = c.found.identity;
    if (scanner.type && (type_bit(*scanner.type) & id.types) == 0) {
        c.verdict = ImageVerdict::other_type;
        c.reason = "The image is for type " + flash::types_text(id.types) +
                   ", the connected scanner is type " +
                   std::string(link::type_text(*scanner.type)) + ".";
        return c;
    }
    if (scanner.version && id.version <= *scanner.version) {
        c.verdict = ImageVerdict::confirm_older;
        c.reason = "The image's version " + flash::version_text(id.version) +
                   (id.version == *scanner.version
                        ? " is the one the scanner runs"
                        : " is older than the scanner's " + flash::version_text(*scanner.version)) +
                   ".";
    }
    return c;
}

Result<ImageCheck> check_image_file(const std::string& hex_path, const ScannerFacts& scanner) {
    const flash::HexResult hex = flash::read_firmware_file(hex_path);
    if (!hex.ok()) {
        return Error{ErrorKind::bad_input,
                     hex.error.line == 0 ? hex.error.message : hex_path + ": " + hex.error.message};
    }
    return judge_image(hex.image, scanner);
}

Result<Done> accept_unattended(const ImageCheck& check, bool force) {
    switch (check.verdict) {
    case ImageVerdict::go:
        return Done{};
    case ImageVerdict::damaged:
        return Error{ErrorKind::bad_input, check.reason + " Nothing was sent."};
    case ImageVerdict::other_type:
    case ImageVerdict::confirm_older:
        if (force) {
            return Done{};
        }
        return Error{ErrorKind::bad_input, check.reason + " Nothing was sent (--force goes on)."};
    }
    return Done{};
}

} // namespace trx::service
