#include "flashlib/flash_host.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <bit>

namespace trx::flash {

using proto::Frame;
using proto::Type;

namespace {

std::string hex6(std::uint32_t v) {
    return "0x" + num::hex_upper(v, 6);
}
std::string hex8(std::uint32_t v) {
    return "0x" + num::hex_upper(v, 8);
}

Outcome check_target(const proto::TargetInfo& t) {
    if (t.version != proto::k_version) {
        return Outcome::failure("the target speaks protocol version " + num::dec(t.version));
    }
    if (t.window < 1 || t.max_block < proto::k_block) {
        return Outcome::failure("the target takes blocks of only " + num::dec(t.max_block) +
                                " bytes");
    }
    if (std::string p = t.layout.problem(); !p.empty()) {
        return Outcome::failure(p);
    }
    return {};
}

bool all_erased(const HexImage::Page& page) {
    return std::all_of(page.bytes.begin(), page.bytes.end(),
                       [](std::uint8_t b) { return b == 0xFF; });
}

} // namespace

void FlashHost::report(FlashProgress::Phase phase, std::int64_t done, std::int64_t total) {
    if (progress_) {
        progress_(FlashProgress{phase, done, total});
    }
}

// A failed exchange may leave the target expecting another sequence number.
Outcome FlashHost::checked(Outcome o) {
    if (!o.ok()) {
        in_step_ = false;
    }
    return o;
}

Outcome FlashHost::ensure_in_step() {
    if (!connected_) {
        return Outcome::failure("not connected to the target (InitMonitor first)");
    }
    return in_step_ ? Outcome{} : connect();
}

Outcome FlashHost::connect() {
    link_.flush_input();
    const Frame hello{Type::hello, link_.next_seq(), {proto::k_version}};
    for (int attempt = 0; attempt < proto::k_connect_attempts; ++attempt) {
        // A lone delimiter closes off whatever partial frame the target holds.
        if (!link_.send_raw(std::string(1, '\0')) || !link_.send(hello)) {
            return Outcome::failure(link_.line_failure());
        }
        const auto deadline = link_.now() + proto::k_connect_wait;
        for (;;) {
            Incoming in = link_.receive(deadline);
            if (in.kind == Incoming::Kind::failed) {
                return Outcome::failure(link_.line_failure());
            }
            if (in.kind == Incoming::Kind::timeout) {
                break;
            }
            if (in.frame.seq != hello.seq) {
                continue;
            }
            if (auto ack = proto::parse_ack(in.frame);
                ack && ack->status != proto::Status::crc_error) {
                return Outcome::failure(describe_refusal(*ack, "HELLO"));
            }
            if (auto info = proto::parse_hello_reply(in.frame)) {
                if (Outcome o = check_target(*info); !o.ok()) {
                    return o;
                }
                target_ = std::move(*info);
                connected_ = true;
                in_step_ = true;
                return {};
            }
        }
    }
    return Outcome::failure("no answer from the target to HELLO after " +
                            num::dec(proto::k_connect_attempts) +
                            " attempts (is the scanner in its bootstrap loader?)");
}

Outcome FlashHost::read_clock(std::uint32_t& hz) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    Frame reply;
    Outcome o = link_.request(Frame{Type::clock, link_.next_seq(), {}}, Type::clock_reply, {},
                              "CLOCK", reply);
    if (!o.ok()) {
        return checked(o);
    }
    proto::Reader r(reply.payload);
    hz = r.u32();
    if (!r.ok() || !r.at_end()) {
        return checked(Outcome::failure("the target's CLOCK_REPLY is malformed"));
    }
    return {};
}

Outcome FlashHost::erase_sector(std::size_t index) {
    const Sector& s = target_.layout.sectors[index];
    const std::string what = "ERASE of " + describe_sector(target_.layout, index);
    flash_touched_ = true;
    RequestLimits limits;
    limits.overall = proto::k_erase_limit;
    Frame reply;
    Outcome o =
        link_.request(Frame{Type::erase, link_.next_seq(), proto::Writer().u32(s.start).take()},
                      Type::ack, limits, what, reply);
    const auto ack = proto::parse_ack(reply);
    if (!o.ok() && ack && ack->status == proto::Status::verify_failed) {
        o = Outcome::failure("blank check failed in " + describe_sector(target_.layout, index) +
                             " at " + hex6(ack->info));
    }
    return checked(o);
}

Outcome FlashHost::erase(std::uint32_t mask, std::uint32_t& erased) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    const auto& sectors = target_.layout.sectors;
    if (mask == 0) {
        return Outcome::failure("nothing to erase (block value 0)");
    }
    if ((mask & ~target_.layout.all_sectors_mask()) != 0) {
        return Outcome::failure("block value " + hex8(mask) +
                                " names sectors the target does not have");
    }
    std::int64_t total = 0;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        total += (mask >> i & 1U) != 0 ? sectors[i].size : 0;
    }
    const auto started = link_.now();
    std::int64_t done = 0;
    report(FlashProgress::Phase::erase, 0, total);
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((mask >> i & 1U) == 0) {
            continue;
        }
        if (Outcome o = erase_sector(i); !o.ok()) {
            return o;
        }
        erased |= 1U << i;
        done += sectors[i].size;
        report(FlashProgress::Phase::erase, done, total);
    }
    stats_.erase_time += link_.now() - started;
    return {};
}

Outcome FlashHost::send_blocks(const HexImage& image) {
    std::vector<Block> blocks;
    std::vector<Block> reset_vector;
    for (const auto& [address, page] : image.pages()) {
        if (all_erased(page)) {
            continue;
        }
        (address == 0 ? reset_vector : blocks).push_back(Block{address, page.bytes});
    }
    std::int64_t total = 0;
    for (const Block& b : blocks) {
        total += static_cast<std::int64_t>(b.data.size());
    }
    total += reset_vector.empty() ? 0 : proto::k_block;
    stats_.blocks = static_cast<std::int64_t>(blocks.size() + reset_vector.size());
    std::int64_t done = 0;
    report(FlashProgress::Phase::program, 0, total);
    BlockSender sender(link_, stats_.transfer, [&](std::int64_t bytes) {
        done += bytes;
        report(FlashProgress::Phase::program, done, total);
    });
    const auto started = link_.now();
    flash_touched_ = flash_touched_ || stats_.blocks > 0;
    Outcome o = sender.send(blocks);
    // The reset vector goes last, once every other block is in: an update cut short leaves it
    // blank, and the controller stays in its loader.
    if (o.ok()) {
        o = sender.send(reset_vector);
    }
    stats_.program_time += link_.now() - started;
    return checked(o);
}

Outcome FlashHost::verify(const HexImage& image, std::uint32_t erased) {
    const auto& sectors = target_.layout.sectors;
    const auto started = link_.now();
    const auto total = static_cast<std::int64_t>(std::popcount(erased));
    std::int64_t done = 0;
    report(FlashProgress::Phase::verify, 0, total);
    RequestLimits limits;
    limits.overall = proto::k_crc_limit;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((erased >> i & 1U) == 0) {
            continue;
        }
        const Sector& s = sectors[i];
        Frame reply;
        const std::string what = "CRC of " + describe_sector(target_.layout, i);
        Outcome o = link_.request(
            Frame{Type::crc, link_.next_seq(), proto::Writer().u32(s.start).u32(s.size).take()},
            Type::crc_reply, limits, what, reply);
        if (!o.ok()) {
            return checked(o);
        }
        proto::Reader r(reply.payload);
        const std::uint32_t start = r.u32();
        const std::uint32_t size = r.u32();
        const std::uint32_t target_crc = r.u32();
        if (!r.ok() || !r.at_end() || start != s.start || size != s.size) {
            return checked(Outcome::failure("the target's answer to " + what + " is malformed"));
        }
        const std::uint32_t image_crc = image.crc32(s.start, s.size);
        if (target_crc != image_crc) {
            return Outcome::failure(what + " differs: target " + hex8(target_crc) + ", image " +
                                    hex8(image_crc));
        }
        report(FlashProgress::Phase::verify, ++done, total);
    }
    stats_.verify_time += link_.now() - started;
    return {};
}

Outcome FlashHost::program(const HexImage& image, std::uint32_t erased) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    const std::uint32_t needed = image.sector_mask(target_.layout);
    for (std::size_t i = 0; i < target_.layout.sectors.size(); ++i) {
        if ((needed >> i & 1U) != 0 && (erased >> i & 1U) == 0) {
            return Outcome::failure(describe_sector(target_.layout, i) +
                                    " holds data of the hex file but was not erased");
        }
    }
    if (Outcome o = send_blocks(image); !o.ok()) {
        return o;
    }
    return verify(image, erased);
}

Outcome FlashHost::go() {
    if (!connected_ || !in_step_) {
        return Outcome::failure("not in step with the target");
    }
    RequestLimits limits{proto::k_go_wait, 1, proto::k_go_wait};
    Frame reply;
    return checked(
        link_.request(Frame{Type::go, link_.next_seq(), {}}, Type::ack, limits, "GO", reply));
}

} // namespace trx::flash
