// The host's requests that write nothing: the CRC of sectors against an image, and READ.
#include "base/numtext.hpp"
#include "flashlib/flash_host.hpp"
#include "flashlib/frame_text.hpp"

#include <bit>

namespace trx::flash {

using proto::Frame;
using proto::Type;

Outcome FlashHost::sector_crc(std::size_t index, std::uint32_t& crc) {
    const Sector& s = target_.layout.sectors[index];
    RequestLimits limits;
    limits.overall = proto::k_crc_limit;
    Frame reply;
    const std::string what = "CRC of " + describe_sector(target_.layout, index);
    Outcome o = link_.request(
        Frame{Type::crc, link_.next_seq(), proto::Writer().u32(s.start).u32(s.size).take()},
        Type::crc_reply, limits, what, reply);
    if (!o.ok()) {
        return checked(o);
    }
    proto::Reader r(reply.payload);
    const std::uint32_t start = r.u32();
    const std::uint32_t size = r.u32();
    crc = r.u32();
    if (!r.ok() || !r.at_end() || start != s.start || size != s.size) {
        return checked(Outcome::failure("the target's answer to " + what + " is malformed"));
    }
    return {};
}

Outcome FlashHost::compare(const HexImage& image, std::uint32_t mask, std::uint32_t& differing,
                           bool show_progress) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    differing = 0;
    const auto started = link_.now();
    const auto& sectors = target_.layout.sectors;
    const auto total = static_cast<std::int64_t>(std::popcount(mask));
    std::int64_t done = 0;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((mask >> i & 1U) == 0) {
            continue;
        }
        std::uint32_t crc = 0;
        if (Outcome o = sector_crc(i, crc); !o.ok()) {
            return o;
        }
        const std::uint32_t wanted = image.crc32(sectors[i].start, sectors[i].size);
        const bool same = crc == wanted;
        differing |= same ? 0U : 1U << i;
        log()(LogLevel::info, [&] {
            return describe_sector(target_.layout, i) +
                   (same ? " holds the image already: " + hex8(crc)
                         : " differs: target " + hex8(crc) + ", image " + hex8(wanted));
        });
        ++done;
        if (show_progress) {
            report(FlashProgress::Phase::verify, done, total);
        }
    }
    stats_.verify_time += link_.now() - started;
    return {};
}

Outcome FlashHost::read_piece(std::uint32_t address, std::uint16_t length,
                              std::vector<std::uint8_t>& out) {
    const std::string what = "READ at " + hex6(address);
    std::string last_problem;
    // A well-formed answer with the wrong content is asked for again under a new number:
    // repeating the same number would only bring the stored answer back.
    for (int attempt = 0; attempt <= proto::k_retries; ++attempt) {
        Frame reply;
        const Frame request{Type::read, link_.next_seq(),
                            proto::Writer().u32(address).u16(length).take()};
        Outcome o = link_.request(request, Type::read_reply, {}, what, reply);
        if (!o.ok()) {
            return checked(o);
        }
        const auto r = proto::parse_read_reply(reply);
        if (r && r->address == address && r->bytes.size() == length) {
            out.insert(out.end(), r->bytes.begin(), r->bytes.end());
            return {};
        }
        last_problem = !r ? "is malformed"
                       : r->address != address
                           ? "is for " + hex6(r->address)
                           : "holds " + num::dec(static_cast<std::int64_t>(r->bytes.size())) +
                                 " bytes, not " + num::dec(length);
        log()(LogLevel::warning, [&] { return "the answer to " + what + " " + last_problem; });
    }
    return Outcome::failure("the answer to " + what + " " + last_problem + " after " +
                            num::dec(1 + proto::k_retries) + " requests");
}

Outcome FlashHost::read(std::uint32_t address, std::uint32_t length,
                        std::vector<std::uint8_t>& out) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    const std::uint64_t end = std::uint64_t{address} + length;
    if (length == 0 || !target_.layout.contains(address) ||
        !target_.layout.contains(static_cast<std::uint32_t>(end - 1))) {
        return Outcome::failure("the range " + hex6(address) + " ... " +
                                hex6(static_cast<std::uint32_t>(end - 1)) +
                                " is not all in the target's flash");
    }
    out.clear();
    out.reserve(length);
    for (std::uint64_t a = address; a < end;) {
        // Pieces end at 256-byte boundaries, like the blocks the target programs.
        const std::uint64_t piece =
            std::min<std::uint64_t>(proto::k_read_max - a % proto::k_block, end - a);
        if (Outcome o =
                read_piece(static_cast<std::uint32_t>(a), static_cast<std::uint16_t>(piece), out);
            !o.ok()) {
            return o;
        }
        a += piece;
        report(FlashProgress::Phase::read, static_cast<std::int64_t>(a - address), length);
    }
    log()(LogLevel::info,
          [&] { return "read " + num::dec(length) + " bytes from " + hex6(address); });
    return {};
}

} // namespace trx::flash
