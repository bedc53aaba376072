#pragma once

#include "flashlib/block_sender.hpp"
#include "flashlib/flash_library.hpp"
#include "flashlib/hex_image.hpp"
#include "flashlib/host_link.hpp"
#include "flashlib/rate_switch.hpp"
#include "flashlib/transfer_plan.hpp"

#include <functional>

namespace trx::flash {

// What one session cost, in the transport's time.
struct SessionStats {
    Transport::Duration erase_time{};
    Transport::Duration program_time{}; // DATA and ZDATA frames out until acknowledged
    Transport::Duration verify_time{};  // CRC requests
    TransferCounts transfer;
    std::int64_t blocks = 0; // blocks that had to be sent (not all 0xFF)
};

// The host side of the flash protocol over one transport: connect, clock, erase, program with
// read-back check, start the firmware.
class FlashHost {
public:
    using Progress = std::function<void(const FlashProgress&)>;

    // `log` gets every frame at debug level, the steps at info, retries, fallbacks and failures
    // as warnings; it outlives the host.
    explicit FlashHost(Transport& transport, Progress progress = {},
                       const LogSink& log = LogSink::none())
        : link_(transport, log), progress_(std::move(progress)), rate_(transport, link_) {
        link_.on_damaged_run([this] { return lower_rate(); });
    }

    // The highest rate for the transfer (57600 turns the negotiation off), and the codec of
    // ZDATA; before connect().
    void set_max_baud(std::uint32_t baud) { rate_.set_max(baud); }
    void set_codec(Codec codec) { codec_ = codec; }
    [[nodiscard]] std::uint32_t line_rate() const { return rate_.rate(); }
    // The port back at 57600; the target is asked along when it stays in its loader.
    void end_session() { rate_.leave(false); }

    Outcome connect();
    Outcome read_clock(std::uint32_t& hz);
    // Erases the sectors of `mask`, the reset vector's first and then the others in address
    // order, each blank-checked by the target. `erased` collects the sectors erased so far,
    // also when a later one fails.
    Outcome erase(std::uint32_t mask, std::uint32_t& erased);
    // Programs the image so that the controller stays in its loader until all of it is
    // proven: every block that is not all 0xFF except the reset vector's 4 bytes (compressed
    // where the target inflates and it pays), then the CRC-32 of every sector of `erased`
    // with the vector taken as erased, then the vector, then its sector's CRC again. A
    // failure after the vector went out erases the vector's sector again.
    // Sectors of `skipped` were found to hold the image already: none of their blocks is sent.
    Outcome program(const HexImage& image, std::uint32_t erased, std::uint32_t skipped = 0);
    // The CRC-32 of each sector of `mask` against the image: `differing` gets the bits of the
    // sectors that do not hold what the image would leave there. Writes nothing.
    // Reports verify progress when asked (a verify of its own, not the look before an erase).
    Outcome compare(const HexImage& image, std::uint32_t mask, std::uint32_t& differing,
                    bool show_progress = false);
    // [address, address + length) of the flash, with READ requests.
    Outcome read(std::uint32_t address, std::uint32_t length, std::vector<std::uint8_t>& out);
    // Asks the target to start its firmware; one attempt.
    Outcome go();

    [[nodiscard]] bool connected() const { return connected_; }
    // An ERASE or DATA frame was sent in this session: the flash may have changed.
    [[nodiscard]] bool flash_touched() const { return flash_touched_; }
    [[nodiscard]] const proto::TargetInfo& target() const { return target_; }
    [[nodiscard]] const SessionStats& stats() const { return stats_; }

private:
    Outcome checked(Outcome o);
    void log_target() const;
    Outcome ensure_in_step();
    Outcome negotiate_once();
    Outcome erase_sector(std::size_t index);
    [[nodiscard]] std::size_t reset_vector_sector() const;
    [[nodiscard]] std::vector<Outgoing> frames_without_vector(const HexImage& image,
                                                              std::uint32_t skipped) const;
    Outcome sector_crc(std::size_t index, std::uint32_t& crc);
    Outcome read_piece(std::uint32_t address, std::uint16_t length, std::vector<std::uint8_t>& out);
    Outcome send_frames(std::span<const Outgoing> frames, bool show_progress);
    Outcome verify_sector(const HexImage& image, std::size_t index, HexImage::Hole as_erased);
    Outcome verify(const HexImage& image, std::uint32_t sectors, HexImage::Hole as_erased);
    Outcome write_vector(const HexImage& image);
    Outcome erase_vector_again(const Outcome& why);
    void report(FlashProgress::Phase phase, std::int64_t done, std::int64_t total);
    [[nodiscard]] const LogSink& log() const { return link_.log(); }
    std::optional<Outcome> lower_rate();

    HostLink link_;
    Progress progress_;
    RateSwitch rate_;
    Codec codec_ = Codec::zlib;
    bool negotiated_ = false;
    proto::TargetInfo target_;
    SessionStats stats_;
    bool connected_ = false;
    bool in_step_ = false; // the target expects our next sequence number
    bool flash_touched_ = false;
    std::int64_t verify_done_ = 0;
    std::int64_t verify_total_ = 0;
};

} // namespace trx::flash
