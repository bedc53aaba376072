#pragma once

#include "flashlib/cobs.hpp"
#include "flashlib/inflate.hpp"
#include "flashlib/protocol.hpp"
#include "sim/boot_target.hpp"
#include "sim/flash/flash_memory.hpp"
#include "sim/flash/target_rate.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace trx::sim {

using namespace std::chrono_literals;
namespace proto = flash::proto;

// How long the controller takes for its work.
struct TargetTiming {
    std::chrono::nanoseconds program_per_word = 16us; // one 16-bit word
    std::chrono::nanoseconds erase_base = 200ms;
    std::chrono::nanoseconds erase_per_kib = 10ms;
    std::chrono::nanoseconds crc_per_kib = 1ms;
};

// Misbehaviour on request, for tests. Counts start when the loader is entered.
struct FaultPlan {
    // Bytes from the host / to the host (0-based) that get one bit flipped.
    std::vector<std::uint64_t> corrupt_received;
    std::vector<std::uint64_t> corrupt_sent;
    // DATA answers (0-based, in the order sent, repeats included) that are not sent.
    std::vector<std::uint64_t> lose_data_answers;
    // DATA and ZDATA frames count alike below. From the k-th taken for execution (0-based),
    // the next n are answered CRC_ERROR without being executed.
    std::optional<std::uint64_t> nak_run_from;
    std::uint64_t nak_run_length = 0;
    // While executing the k-th the controller resets; half the first block it programs is
    // written.
    std::optional<std::uint64_t> reset_at_data;
    double erase_slowdown = 1.0;
    // Answer OK to DATA and ZDATA without reading the blocks back.
    bool skip_verify = false;
    // The first frame of this type taken for execution is worked on for ever: BUSY answers
    // every 100 ms, and nothing after it is executed.
    std::optional<proto::Type> busy_forever;
    // The first n HELLOs are answered BUSY.
    std::uint64_t busy_hellos = 0;
    RateFaults rates;
    // The first n READs are answered one byte short; `wrong_read_address` shifts the address
    // READ answers name (every answer).
    std::uint64_t short_reads = 0;
    bool wrong_read_address = false;
};

struct TargetConfig {
    std::string name = "FLASHMON-TRX81500";
    std::uint32_t clock_hz = 20'000'000;
    // An older flash monitor: HELLO_REPLY without its extension, no ZDATA.
    bool legacy_hello = false;
    // RAM for inflating a ZDATA run, at most 8 KiB; 0: no ZDATA.
    std::size_t inflate_buffer = proto::k_max_inflate;
    // Takes a run as one stream in ZRUN pieces (with an inflate buffer).
    bool stream_runs = true;
    // Where the controller starts; the first address of the flash when not given.
    std::optional<std::uint32_t> reset_vector;
    // Rates offered in HELLO_REPLY besides 57600.
    std::vector<std::uint32_t> rates = {115200, 230400, 460800};
    TargetTiming timing;
    FaultPlan faults;
};

// What the target did, for tests and the simulator's log.
struct TargetCounters {
    std::uint64_t data_executed = 0;     // DATA frames programmed
    std::uint64_t zdata_executed = 0;    // ZDATA frames inflated
    std::uint64_t zrun_executed = 0;     // ZRUN pieces inflated
    std::uint64_t blocks_programmed = 0; // by DATA and ZDATA
    std::uint64_t repeats_answered = 0;  // frames answered again without executing
    std::uint64_t damaged_frames = 0;
    std::uint64_t resets = 0;
    std::uint32_t last_data_address = 0; // of the block programmed last
};

// The controller's bootstrap loader and flash monitor: the target side of the flash protocol
// (docs/flash-protocol.md) on a FlashMemory.
class FlashTarget final : public BootTarget {
public:
    explicit FlashTarget(FlashMemory& memory, TargetConfig config = {});

    void enter(std::chrono::nanoseconds now) override;
    void receive(std::string_view bytes, std::chrono::nanoseconds now, std::string& out) override;
    void poll(std::chrono::nanoseconds now, std::string& out) override;
    [[nodiscard]] bool finished() const override { return !in_loader_; }
    [[nodiscard]] std::uint32_t line_rate() const override { return rate_.rate(); }
    [[nodiscard]] const TargetRate& rate() const { return rate_; }
    // From the identity block of the image in the flash, once the controller starts it.
    [[nodiscard]] std::optional<std::uint16_t> booted_version() const override;

    // A reset of the controller (power, watchdog): the session is lost; the firmware starts
    // when the reset vector is programmed, else the loader waits for a new session.
    void reset(std::chrono::nanoseconds now);

    [[nodiscard]] bool has_session() const { return session_; }
    [[nodiscard]] std::uint32_t reset_vector() const {
        return config_.reset_vector.value_or(memory_.base());
    }
    [[nodiscard]] const TargetCounters& counters() const { return counters_; }
    [[nodiscard]] FaultPlan& faults() { return config_.faults; }
    [[nodiscard]] const TargetConfig& config() const { return config_; }

private:
    struct Job {
        proto::Frame frame;
        std::chrono::nanoseconds done_at{};
        std::chrono::nanoseconds next_busy{};
    };
    struct Answered {
        std::uint16_t seq;
        proto::Type request;
        proto::Frame answer;
    };

    void on_piece(std::span<const std::uint8_t> piece, std::chrono::nanoseconds now,
                  std::string& out);
    void on_damaged(std::string& out);
    void on_frame(const proto::Frame& f, std::chrono::nanoseconds now, std::string& out);
    void on_hello(const proto::Frame& f, std::string& out);
    void on_control(const proto::Frame& f, std::chrono::nanoseconds now, std::string& out);
    void take(const proto::Frame& f, std::chrono::nanoseconds now);
    void run_due(std::chrono::nanoseconds now, std::string& out);
    void complete(const Job& job, std::chrono::nanoseconds now, std::string& out);
    [[nodiscard]] std::chrono::nanoseconds duration_of(const proto::Frame& f) const;

    // The answer to an executed frame; nullopt when the controller reset during it.
    std::optional<proto::Frame> execute(const proto::Frame& f, std::chrono::nanoseconds now);
    proto::Frame execute_erase(const proto::Frame& f);
    std::optional<proto::Frame> execute_data(const proto::Frame& f, std::chrono::nanoseconds now);
    std::optional<proto::Frame> execute_zdata(const proto::Frame& f, std::chrono::nanoseconds now);
    std::optional<proto::Frame> execute_zrun(const proto::Frame& f, std::chrono::nanoseconds now);
    // Refuses a ZRUN piece that does not fit the run in work; nullopt when it fits.
    [[nodiscard]] std::optional<proto::Frame> zrun_refusal(const proto::Frame& f,
                                                           const proto::ZRun& z) const;
    // Blocks a ZRUN piece completes once the frames queued before it are done.
    [[nodiscard]] std::size_t zrun_blocks(const proto::Frame& f) const;
    // Programs the run buffer's whole blocks from `programmed` up to `length` at the run's
    // `address`, moving `programmed` past each; the k-th data frame may reset the controller.
    struct RunWrite {
        bool reset = false;
        std::optional<std::uint32_t> bad; // the first address that differs
    };
    RunWrite program_run(std::uint32_t address, std::size_t& programmed, std::size_t length,
                         std::uint64_t k, std::chrono::nanoseconds now);
    // Programs and reads back one block; the first address that differs, if one does.
    std::optional<std::uint32_t> program_block(std::uint32_t address,
                                               std::span<const std::uint8_t> data);
    // CRC_ERROR for a frame of a run of NAKs; the frame's number among DATA and ZDATA.
    std::optional<proto::Frame> nak_or_count(const proto::Frame& f, std::uint64_t& k);
    proto::Frame execute_crc(const proto::Frame& f);
    proto::Frame execute_read(const proto::Frame& f);

    void send(const proto::Frame& f, std::string& out);
    void emit(const proto::Frame& f, std::string& out); // muted or not
    void send_answer(proto::Type request, const proto::Frame& answer, std::string& out);
    void send_ack(std::uint16_t seq, proto::Status s, std::uint32_t info, std::string& out) {
        send(proto::make_ack(seq, {s, info}), out);
    }
    void clear_session_state();

    FlashMemory& memory_;
    TargetConfig config_;
    TargetRate rate_;
    TargetCounters counters_;
    flash::DelimitedReader reader_{proto::k_max_encoded};

    bool in_loader_ = false;
    bool session_ = false;
    bool damage_reported_ = false;
    std::uint16_t expected_ = 0;
    std::deque<Job> jobs_;         // the front one is in work
    std::deque<Answered> history_; // the last two completed with OK
    std::chrono::nanoseconds last_byte_at_{};
    std::chrono::nanoseconds last_frame_at_{};
    std::uint64_t received_ = 0;
    std::uint64_t sent_ = 0;
    std::uint64_t data_taken_ = 0;
    std::uint64_t data_answers_ = 0;
    std::uint64_t hellos_ = 0;
    std::uint64_t reads_ = 0;
    bool stalled_ = false;

    // The ZDATA run being inflated: its address, the bytes so far and those programmed.
    std::vector<std::uint8_t> run_;
    std::uint32_t run_address_ = 0;
    std::size_t run_length_ = 0;
    std::size_t run_programmed_ = 0;

    // The ZRUN run, in the same RAM: its decoder keeps its state from piece to piece.
    struct StreamRun {
        std::uint32_t address = 0;
        std::size_t length = 0;
        std::size_t stream_bytes = 0; // taken so far
        std::size_t programmed = 0;
        flash::deflate::StreamInflater decoder;
    };
    std::optional<StreamRun> stream_;
};

} // namespace trx::sim
