#include "flashlib/flash_host.hpp"

#include "base/numtext.hpp"
#include "flashlib/frame_text.hpp"

#include <algorithm>
#include <bit>

namespace trx::flash {

using proto::Frame;
using proto::Type;

namespace {

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
    // The vector's 4 bytes must lie in the flash and in one block.
    if (!t.layout.contains(t.reset_vector) ||
        t.reset_vector % proto::k_block > proto::k_block - proto::k_reset_vector_size) {
        return Outcome::failure("the target reports its reset vector at " + hex6(t.reset_vector) +
                                ", where it cannot be programmed");
    }
    return {};
}

bool all_erased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::int64_t data_bytes_of(std::span<const Outgoing> frames) {
    std::int64_t total = 0;
    for (const Outgoing& f : frames) {
        total += f.data_bytes;
    }
    return total;
}

} // namespace

// Whom we talk to, and the one fallback the target decides: raw DATA only to a flash monitor
// that cannot inflate.
void FlashHost::log_target() const {
    log()(LogLevel::info, [&] {
        return "connected to " + printable(target_.name) + ", " + num::dec(target_.clock_hz) +
               " Hz, " + num::dec(static_cast<std::int64_t>(target_.layout.sectors.size())) +
               " sectors, reset vector at " + hex6(target_.reset_vector);
    });
    if (target_.run_capacity() == 0) {
        log()(LogLevel::warning, [&] {
            return std::string(target_.extended ? "the target does not inflate"
                                                : "an older flash monitor (no extension)") +
                   ": every block goes raw as DATA";
        });
    }
}

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
    bool busy = false;
    for (int attempt = 0; attempt < proto::k_connect_attempts; ++attempt) {
        if (attempt > 0) {
            log()(LogLevel::warning, [&] {
                return std::string(busy ? "HELLO answered BUSY" : "no answer to HELLO") +
                       ", attempt " + num::dec(attempt + 1) + " of " +
                       num::dec(proto::k_connect_attempts);
            });
        }
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
            // BUSY: the loader still finishes earlier work; the next attempt asks again.
            if (auto ack = proto::parse_ack(in.frame)) {
                busy = busy || ack->status == proto::Status::busy;
                if (ack->status == proto::Status::busy || ack->status == proto::Status::crc_error) {
                    continue;
                }
                return Outcome::failure(describe_refusal(*ack, "HELLO"));
            }
            if (auto info = proto::parse_hello_reply(in.frame)) {
                if (Outcome o = check_target(*info); !o.ok()) {
                    return o;
                }
                target_ = std::move(*info);
                connected_ = true;
                in_step_ = true;
                log_target();
                return negotiate_once();
            }
        }
    }
    const std::string attempts = num::dec(proto::k_connect_attempts) + " attempts";
    if (busy) {
        return Outcome::failure("the target answers HELLO only with BUSY after " + attempts);
    }
    return Outcome::failure("no answer from the target to HELLO after " + attempts +
                            " (is the scanner in its bootstrap loader?)");
}

// The rate for the transfer, once a session: a reconnect keeps the rate in use.
Outcome FlashHost::negotiate_once() {
    if (negotiated_ || target_.rates.empty()) {
        return {};
    }
    negotiated_ = true;
    Outcome o = rate_.negotiate(target_.rates);
    if (!o.ok()) {
        in_step_ = false;
    } else if (rate_.raised()) {
        report(FlashProgress::Phase::rate, rate_.rate(), 0);
    }
    return o;
}

std::optional<Outcome> FlashHost::lower_rate() {
    auto o = rate_.step_down();
    if (o && o->ok()) {
        report(FlashProgress::Phase::rate, rate_.rate(), 0);
    }
    return o;
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

std::size_t FlashHost::reset_vector_sector() const {
    return target_.layout.sector_of(target_.reset_vector).value_or(0);
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
    // The reset vector goes first: from then on an interrupted update leaves the controller
    // in its loader.
    std::vector<std::size_t> order;
    const std::size_t vector_sector = reset_vector_sector();
    if ((mask >> vector_sector & 1U) != 0) {
        order.push_back(vector_sector);
    }
    std::int64_t total = 0;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((mask >> i & 1U) != 0) {
            total += sectors[i].size;
            if (i != vector_sector) {
                order.push_back(i);
            }
        }
    }
    const auto started = link_.now();
    std::int64_t done = 0;
    report(FlashProgress::Phase::erase, 0, total);
    for (std::size_t i : order) {
        if (Outcome o = erase_sector(i); !o.ok()) {
            return o;
        }
        erased |= 1U << i;
        log()(LogLevel::info,
              [&] { return "erased " + describe_sector(target_.layout, i) + ", blank"; });
        done += sectors[i].size;
        report(FlashProgress::Phase::erase, done, total);
    }
    stats_.erase_time += link_.now() - started;
    return {};
}

// Every block of the image but the vector's 4 bytes: the other blocks as planned, then the
// rest of the vector's block raw, in at most two pieces around the vector.
std::vector<Outgoing> FlashHost::frames_without_vector(const HexImage& image,
                                                       std::uint32_t skipped) const {
    const std::uint32_t vector = target_.reset_vector;
    const std::uint32_t vector_block = vector - vector % proto::k_block;
    std::vector<Block> blocks;
    const HexImage::Page* vector_page = nullptr;
    for (const auto& [address, page] : image.pages()) {
        const auto sector = target_.layout.sector_of(address);
        if (sector && (skipped >> *sector & 1U) != 0) {
            continue;
        }
        if (address == vector_block) {
            vector_page = &page;
        } else if (!all_erased(page.bytes)) {
            blocks.push_back(Block{address, page.bytes});
        }
    }
    const RunForm form = target_.streams_runs() ? RunForm::stream : RunForm::pieces;
    std::vector<Outgoing> frames = plan_transfer(blocks, target_.run_capacity(), codec_, form);
    if (vector_page == nullptr) {
        return frames;
    }
    const std::span<const std::uint8_t> bytes(vector_page->bytes);
    const std::size_t at = vector - vector_block;
    const std::size_t after = at + proto::k_reset_vector_size;
    for (const auto& [from, to] : {std::pair{std::size_t{0}, at}, std::pair{after, bytes.size()}}) {
        const auto part = bytes.subspan(from, to - from);
        if (!part.empty() && !all_erased(part)) {
            frames.push_back(data_frame(vector_block + static_cast<std::uint32_t>(from), part));
        }
    }
    return frames;
}

Outcome FlashHost::send_frames(std::span<const Outgoing> frames, bool show_progress) {
    const std::int64_t total = data_bytes_of(frames);
    std::int64_t done = 0;
    if (show_progress) {
        report(FlashProgress::Phase::program, 0, total);
    }
    BlockSender sender(link_, stats_.transfer, [&](std::int64_t bytes) {
        done += bytes;
        if (show_progress) {
            report(FlashProgress::Phase::program, done, total);
        }
    });
    const auto started = link_.now();
    flash_touched_ = flash_touched_ || !frames.empty();
    const TransferCounts before = stats_.transfer;
    Outcome o = sender.send(frames);
    stats_.program_time += link_.now() - started;
    log()(LogLevel::info, [&] {
        const TransferCounts& now = stats_.transfer;
        const std::int64_t sent = now.frames - before.frames;
        return "sent " + num::dec(sent) + (sent == 1 ? " frame (" : " frames (") +
               num::dec(now.compressed_frames - before.compressed_frames) + " compressed, " +
               num::dec(now.retransmissions - before.retransmissions) + " repeated) for " +
               num::dec(total) + " image bytes" + (o.ok() ? "" : ", stopped");
    });
    return checked(o);
}

Outcome FlashHost::verify_sector(const HexImage& image, std::size_t index,
                                 HexImage::Hole as_erased) {
    const Sector& s = target_.layout.sectors[index];
    const std::string what = "CRC of " + describe_sector(target_.layout, index);
    std::uint32_t target_crc = 0;
    if (Outcome o = sector_crc(index, target_crc); !o.ok()) {
        return o;
    }
    const std::uint32_t image_crc = image.crc32(s.start, s.size, as_erased);
    if (target_crc != image_crc) {
        return Outcome::failure(what + " differs: target " + hex8(target_crc) + ", image " +
                                hex8(image_crc));
    }
    log()(LogLevel::info, [&] { return what + " matches: " + hex8(target_crc); });
    report(FlashProgress::Phase::verify, ++verify_done_, verify_total_);
    return {};
}

Outcome FlashHost::verify(const HexImage& image, std::uint32_t sectors, HexImage::Hole as_erased) {
    const auto started = link_.now();
    Outcome o;
    for (std::size_t i = 0; i < target_.layout.sectors.size() && o.ok(); ++i) {
        if ((sectors >> i & 1U) != 0) {
            o = verify_sector(image, i, as_erased);
        }
    }
    stats_.verify_time += link_.now() - started;
    return o;
}

// The vector, and then its sector once more: only now can the controller start the image.
Outcome FlashHost::write_vector(const HexImage& image) {
    const std::uint32_t vector = target_.reset_vector;
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i < proto::k_reset_vector_size; ++i) {
        bytes.push_back(image.at(vector + i));
    }
    const Outgoing frame = data_frame(vector, bytes);
    log()(LogLevel::info, [&] { return "writing the reset vector at " + hex6(vector); });
    Outcome o = send_frames(std::span(&frame, 1), false);
    if (o.ok()) {
        o = verify(image, 1U << reset_vector_sector(), {});
    }
    return o.ok() ? o : erase_vector_again(o);
}

// The vector may be in the flash now, over content that failed its check: erased again, the
// controller stays in its loader.
Outcome FlashHost::erase_vector_again(const Outcome& why) {
    log()(LogLevel::warning,
          [&] { return why.error + ": erasing the reset vector's sector again"; });
    Outcome e = ensure_in_step();
    if (e.ok()) {
        e = erase_sector(reset_vector_sector());
    }
    return Outcome::failure(why.error +
                            (e.ok() ? "; the reset vector was erased again"
                                    : "; erasing the reset vector again failed: " + e.error));
}

Outcome FlashHost::program(const HexImage& image, std::uint32_t erased, std::uint32_t skipped) {
    if (Outcome o = ensure_in_step(); !o.ok()) {
        return o;
    }
    const std::uint32_t needed = image.sector_mask(target_.layout) & ~skipped;
    if (needed == 0 && erased == 0) {
        return {}; // the flash holds the image already
    }
    for (std::size_t i = 0; i < target_.layout.sectors.size(); ++i) {
        if ((needed >> i & 1U) != 0 && (erased >> i & 1U) == 0) {
            return Outcome::failure(describe_sector(target_.layout, i) +
                                    " holds data of the hex file but was not erased");
        }
    }
    const std::uint32_t vector = target_.reset_vector;
    const HexImage::Hole vector_bytes{vector, proto::k_reset_vector_size};
    if (!image.holds(vector, proto::k_reset_vector_size)) {
        return Outcome::failure("the hex file holds no reset vector at " + hex6(vector));
    }
    const std::vector<Outgoing> frames = frames_without_vector(image, skipped);
    for (const auto& [address, page] : image.pages()) {
        stats_.blocks += all_erased(page.bytes) ? 0 : 1;
    }
    verify_done_ = 0;
    verify_total_ = std::popcount(erased) + 1;
    Outcome o = send_frames(frames, true);
    if (o.ok()) {
        o = verify(image, erased, vector_bytes);
    }
    return o.ok() ? write_vector(image) : o;
}

Outcome FlashHost::go() {
    if (!connected_ || !in_step_) {
        return Outcome::failure("not in step with the target");
    }
    RequestLimits limits{proto::k_go_wait, 1, proto::k_go_wait};
    Frame reply;
    Outcome o = checked(
        link_.request(Frame{Type::go, link_.next_seq(), {}}, Type::ack, limits, "GO", reply));
    // The firmware talks at 57600: after its OK the target has left the raised rate.
    rate_.leave(o.ok());
    return o;
}

} // namespace trx::flash
