#pragma once

#include "flashlib/host_link.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace trx::flash {

// One DATA, ZDATA or ZRUN frame to send, its payload ready.
struct Outgoing {
    proto::Type type = proto::Type::data;
    std::uint32_t address = 0; // of the first data byte it carries
    std::vector<std::uint8_t> payload;
    std::int64_t data_bytes = 0; // image bytes it carries (uncompressed)
};

struct TransferCounts {
    std::int64_t frames = 0;            // data-carrying frames sent, repeats included
    std::int64_t compressed_frames = 0; // of them ZDATA or ZRUN
    std::int64_t retransmissions = 0;
    std::int64_t payload_bytes = 0; // image bytes acknowledged
};

// Sends DATA and ZDATA frames with two unacknowledged, so the next one is on the line while
// the target programs the previous one. Go-back on a timeout, CRC_ERROR or VERIFY_FAILED;
// each frame is sent at most 1 + 3 times, and finishes within 10 s of its first sending, BUSY
// answers included.
class BlockSender {
public:
    using Acked = std::function<void(std::int64_t bytes)>;

    BlockSender(HostLink& link, TransferCounts& counts, Acked on_acked)
        : link_(link), counts_(counts), on_acked_(std::move(on_acked)) {}

    // Every frame acknowledged with OK, in order.
    Outcome send(std::span<const Outgoing> frames);

private:
    struct Slot {
        std::size_t index = 0;
        int transmissions = 0;
        HostLink::Duration sent_at{};
        HostLink::Duration first_sent_at{};
    };
    enum class Cause { timeout, damaged, verify };

    bool transmit(Slot& slot);
    Outcome resend_from(std::size_t pos, Cause cause, std::uint32_t info);
    Outcome on_answer(const proto::Frame& f);
    [[nodiscard]] Outcome overdue() const;
    std::optional<Outcome> lowered();
    [[nodiscard]] std::uint16_t seq_of(std::size_t index) const {
        return static_cast<std::uint16_t>(first_seq_ + index);
    }
    [[nodiscard]] std::string name_of(const Slot& slot) const;
    [[nodiscard]] std::string retry_text(const Slot& first, Cause cause, std::uint32_t info,
                                         std::size_t pos) const;

    HostLink& link_;
    TransferCounts& counts_;
    Acked on_acked_;
    std::span<const Outgoing> frames_;
    std::vector<Slot> open_; // unacknowledged, oldest first; at most the window
    std::uint16_t first_seq_ = 0;
    int damaged_run_ = 0; // damaged exchanges since the last OK
    std::uint64_t damaged_seen_ = 0;
};

} // namespace trx::flash
