#pragma once

#include "base/result.hpp"
#include "flashlib/hex_image.hpp"
#include "flashlib/image_identity.hpp"
#include "link/para_frame.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace trx::service {

// What the connected scanner said of itself in its last "W" reply; empty when it said
// nothing (a scanner sitting in its loader answers no "R").
struct ScannerFacts {
    std::optional<link::ScannerType> type;
    std::optional<std::uint32_t> version; // times 100
    std::optional<std::uint32_t> serial;  // where a kept copy of its firmware goes
};
ScannerFacts facts_from(const link::ParaReply& reply);

// What the update may do with an image, decided before anything is sent.
enum class ImageVerdict {
    go,            // no identity, or one that fits and is newer (or nothing to compare with)
    confirm_older, // the same version or an older one: the user must agree
    other_type,    // made for the other scanner type
    damaged,       // the CRC does not match its block, or the block itself is damaged
};

struct ImageCheck {
    flash::IdentityFound found;
    ImageVerdict verdict = ImageVerdict::go;
    std::string reason; // why it is refused or asked about; empty for go
    // The image's CRC-32 as its identity block defines it, or over all its data (gaps as 0xFF)
    // for an image without one: what it has, whatever a block claims.
    std::uint32_t image_crc = 0;
    // "ZA, version 1.10, built 2026-12-01, CRC 0x1234ABCD" or "no identity".
    [[nodiscard]] std::string summary() const;
    // The update log's line: "Image: " and the summary.
    [[nodiscard]] std::string log_line() const;
    [[nodiscard]] bool has_identity() const {
        return found.kind == flash::IdentityFound::Kind::found;
    }
};

ImageCheck judge_image(const flash::HexImage& image, const ScannerFacts& scanner);

// The hex file read as the update checks it (check_hex_file), then judged: bad_input, naming
// the file, for a file that will not do; the judgement otherwise.
Result<ImageCheck> check_image_file(const std::string& hex_path, const ScannerFacts& scanner);

// Whether the command line goes on: a damaged image never, the other type and an older
// version only with --force. bad_input with the reason when not.
Result<Done> accept_unattended(const ImageCheck& check, bool force);

} // namespace trx::service
