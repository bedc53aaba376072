#pragma once

#include "flashlib/block_sender.hpp"
#include "flashlib/flash_library.hpp"
#include "flashlib/hex_image.hpp"
#include "flashlib/host_link.hpp"

#include <functional>

namespace trx::flash {

// What one session cost, in the transport's time.
struct SessionStats {
    Transport::Duration erase_time{};
    Transport::Duration program_time{}; // first DATA frame to the last acknowledgement
    Transport::Duration verify_time{};
    TransferCounts transfer;
    std::int64_t blocks = 0; // blocks that had to be sent (not all 0xFF)
};

// The host side of the flash protocol over one transport: connect, clock, erase, program with
// read-back check, start the firmware.
class FlashHost {
public:
    using Progress = std::function<void(const FlashProgress&)>;

    explicit FlashHost(Transport& transport, Progress progress = {})
        : link_(transport), progress_(std::move(progress)) {}

    Outcome connect();
    Outcome read_clock(std::uint32_t& hz);
    // Erases the sectors of `mask` in address order, each blank-checked by the target.
    // `erased` collects the sectors erased so far, also when a later one fails.
    Outcome erase(std::uint32_t mask, std::uint32_t& erased);
    // Sends every block of the image that is not all 0xFF, the block at address 0 (reset
    // vector) last; then compares the CRC-32 of every sector of `erased` with the image.
    Outcome program(const HexImage& image, std::uint32_t erased);
    // Asks the target to start its firmware; one attempt.
    Outcome go();

    [[nodiscard]] bool connected() const { return connected_; }
    // An ERASE or DATA frame was sent in this session: the flash may have changed.
    [[nodiscard]] bool flash_touched() const { return flash_touched_; }
    [[nodiscard]] const proto::TargetInfo& target() const { return target_; }
    [[nodiscard]] const SessionStats& stats() const { return stats_; }

private:
    Outcome checked(Outcome o);
    Outcome ensure_in_step();
    Outcome erase_sector(std::size_t index);
    Outcome send_blocks(const HexImage& image);
    Outcome verify(const HexImage& image, std::uint32_t erased);
    void report(FlashProgress::Phase phase, std::int64_t done, std::int64_t total);

    HostLink link_;
    Progress progress_;
    proto::TargetInfo target_;
    SessionStats stats_;
    bool connected_ = false;
    bool in_step_ = false;
    bool flash_touched_ = false; // the target expects our next sequence number
};

} // namespace trx::flash
