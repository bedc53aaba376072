#pragma once

#include "flashlib/host_link.hpp"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace trx::flash {

struct Block {
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;
};

struct TransferCounts {
    std::int64_t frames = 0; // DATA frames sent, repeats included
    std::int64_t retransmissions = 0;
    std::int64_t payload_bytes = 0; // data bytes acknowledged
};

// Sends DATA blocks with two frames unacknowledged, so the next block is on the line while
// the target programs the previous one. Go-back on a timeout, CRC_ERROR or VERIFY_FAILED;
// each block is sent at most 1 + 3 times.
class BlockSender {
public:
    using Acked = std::function<void(std::int64_t bytes)>;

    BlockSender(HostLink& link, TransferCounts& counts, Acked on_acked)
        : link_(link), counts_(counts), on_acked_(std::move(on_acked)) {}

    // Every block acknowledged with OK, in order.
    Outcome send(std::span<const Block> blocks);

private:
    struct Slot {
        std::size_t index = 0;
        int transmissions = 0;
        HostLink::Duration sent_at{};
    };
    enum class Cause { timeout, damaged, verify };

    bool transmit(Slot& slot);
    Outcome resend_from(std::size_t pos, Cause cause, std::uint32_t info);
    Outcome on_answer(const proto::Frame& f);
    [[nodiscard]] std::uint16_t seq_of(std::size_t index) const {
        return static_cast<std::uint16_t>(first_seq_ + index);
    }
    [[nodiscard]] std::string name_of(const Slot& slot) const;

    HostLink& link_;
    TransferCounts& counts_;
    Acked on_acked_;
    std::span<const Block> blocks_;
    std::vector<Slot> open_; // unacknowledged, oldest first; at most the window
    std::uint16_t first_seq_ = 0;
};

} // namespace trx::flash
