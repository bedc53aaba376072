#pragma once

#include "flashlib/cobs.hpp"
#include "flashlib/protocol.hpp"
#include "sim/boot_target.hpp"
#include "sim/flash/flash_memory.hpp"

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
    // From the k-th DATA frame taken for execution (0-based), the next n are answered
    // CRC_ERROR without being executed.
    std::optional<std::uint64_t> nak_run_from;
    std::uint64_t nak_run_length = 0;
    // While executing the k-th DATA frame the controller resets; half the block is written.
    std::optional<std::uint64_t> reset_at_data;
    double erase_slowdown = 1.0;
    // Answer OK to DATA without reading the block back.
    bool skip_verify = false;
};

struct TargetConfig {
    std::string name = "FLASHMON-TRX81500";
    std::uint32_t clock_hz = 20'000'000;
    TargetTiming timing;
    FaultPlan faults;
};

// What the target did, for tests and the simulator's log.
struct TargetCounters {
    std::uint64_t data_executed = 0;    // DATA frames programmed
    std::uint64_t repeats_answered = 0; // frames answered again without executing
    std::uint64_t damaged_frames = 0;
    std::uint64_t resets = 0;
    std::uint32_t last_data_address = 0; // of the DATA frame programmed last
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

    // A reset of the controller (power, watchdog): the session is lost; the firmware starts
    // when the reset vector is programmed, else the loader waits for a new session.
    void reset(std::chrono::nanoseconds now);

    [[nodiscard]] bool has_session() const { return session_; }
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
    void take(const proto::Frame& f, std::chrono::nanoseconds now);
    void run_due(std::chrono::nanoseconds now, std::string& out);
    void complete(const Job& job, std::chrono::nanoseconds now, std::string& out);
    [[nodiscard]] std::chrono::nanoseconds duration_of(const proto::Frame& f) const;

    // The answer to an executed frame; nullopt when the controller reset during it.
    std::optional<proto::Frame> execute(const proto::Frame& f, std::chrono::nanoseconds now);
    proto::Frame execute_erase(const proto::Frame& f);
    std::optional<proto::Frame> execute_data(const proto::Frame& f, std::chrono::nanoseconds now);
    proto::Frame execute_crc(const proto::Frame& f);

    void send(const proto::Frame& f, std::string& out);
    void send_answer(proto::Type request, const proto::Frame& answer, std::string& out);
    void send_ack(std::uint16_t seq, proto::Status s, std::uint32_t info, std::string& out) {
        send(proto::make_ack(seq, {s, info}), out);
    }
    void clear_session_state();

    FlashMemory& memory_;
    TargetConfig config_;
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
};

} // namespace trx::sim
