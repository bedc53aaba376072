#pragma once

#include "sim/boot_target.hpp"
#include "sim/faults.hpp"
#include "sim/frame_assembler.hpp"
#include "sim/line.hpp"
#include "sim/param_set.hpp"
#include "sim/scene.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace trx::sim {

// Makes the target side of the flash protocol each time the scanner enters its bootstrap
// loader; empty when the simulator has none.
using BootTargetFactory = std::function<std::unique_ptr<BootTarget>()>;

struct ScannerConfig {
    ScannerType type = ScannerType::ya;
    ParamSet params;
    std::uint16_t index = 1;
    Scene scene = default_scene();
    bool pace = false;
    Faults faults;
    std::uint32_t seed = 1;
    // The cable to the PC: above this rate bits arrive flipped (one in a hundred); 0: none.
    std::uint32_t cable_max_baud = 0;
};

// running: answers commands and sends a status frame per turn; resetting: silent for a
// moment after "F"; bootstrap: every byte belongs to the bootstrap loader.
enum class Mode { running, resetting, bootstrap };

// Bits of the status word. Bit 3 is the scanner's own: the laser is switched on by the
// host's control command.
enum StatusBit : std::uint16_t {
    k_speed_ok = 1,
    k_temperature_low = 2,
    k_heater_active = 4,
    k_laser_forced = 8,
};

// The TRX81500 as seen from its serial port. Time is passed in: feed() the bytes the host
// sends, poll() for the bytes the scanner has put on the wire by then.
class Scanner {
public:
    static constexpr std::chrono::milliseconds k_reset_silence{100};
    static constexpr std::chrono::milliseconds k_bootstrap_window{500};
    static constexpr std::chrono::milliseconds k_bootstrap_silence{5000};
    static constexpr std::chrono::milliseconds k_keep_alive{500};
    static constexpr std::chrono::milliseconds k_standstill_period{100};
    static constexpr std::chrono::milliseconds k_bootstrap_poll{5};
    // A late caller gets the turns it missed, up to this much; beyond it they are skipped.
    static constexpr std::chrono::milliseconds k_max_catch_up{1000};
    // A status frame is skipped while more than this waits in the transmitter.
    static constexpr std::size_t k_transmit_buffer = 512;
    // Beyond this an answer is dropped too: a host that floods the paced line with commands
    // cannot make the scanner hold ever more output.
    static constexpr std::size_t k_max_backlog = 4096;
    // Paced, bytes from the host arrive at the line's rate too; what the PC's transmit queue
    // could not take beyond this is lost (the write would have failed there).
    static constexpr std::size_t k_max_input_backlog = 1024;
    static constexpr std::int32_t k_temperature_low_below = 5;
    static constexpr std::string_view k_bootstrap_string = "Quendel KG 14.03.1999";

    Scanner(ScannerConfig config, std::chrono::nanoseconds now, BootTargetFactory boot = {});

    void feed(std::string_view bytes, std::chrono::nanoseconds now);
    // The rate the PC's port runs at (the pseudo-terminal's setting).
    void set_host_rate(std::uint32_t baud, std::chrono::nanoseconds now);
    std::string poll(std::chrono::nanoseconds now);
    // When poll() next has something to do (never before now).
    [[nodiscard]] std::chrono::nanoseconds next_event(std::chrono::nanoseconds now) const;

    [[nodiscard]] ScannerType type() const { return config_.type; }
    [[nodiscard]] const ParamSet& params() const { return config_.params; }
    [[nodiscard]] std::uint16_t index() const { return config_.index; }
    [[nodiscard]] const Scene& scene() const { return config_.scene; }
    [[nodiscard]] Mode mode() const { return mode_; }
    [[nodiscard]] bool mirror_turning() const;
    [[nodiscard]] bool laser_forced() const { return (flags_ & 2U) != 0; }
    [[nodiscard]] std::uint16_t status_word() const;
    // Increments per turn at the present resolution.
    [[nodiscard]] std::int32_t increments() const;
    [[nodiscard]] std::chrono::nanoseconds turn_period() const;
    [[nodiscard]] std::uint64_t skipped_frames() const { return skipped_frames_; }
    // Bytes sent but not yet on the wire (paced line only).
    [[nodiscard]] std::size_t backlog() const { return line_.backlog(); }
    // Bytes from the host still on their way in, and those lost to a full queue (paced only).
    [[nodiscard]] std::size_t input_backlog() const { return input_.backlog(); }
    [[nodiscard]] std::uint64_t dropped_input() const { return dropped_input_; }

    // Called after a new parameter set or index was stored.
    std::function<void()> on_stored;
    // Notable events in words, for the front's log.
    std::function<void(const std::string&)> on_event;

private:
    void advance(std::chrono::nanoseconds now);
    void run_turns(std::chrono::nanoseconds now);
    void receive(std::string_view bytes);
    void take_byte(char c);
    void give_to_loader(std::string_view bytes);
    void from_loader(std::string& out);
    // A byte sent at `sent_at` as a receiver at `read_at` reads it through the cable.
    std::string through_cable(std::string bytes, std::uint32_t sent_at, std::uint32_t read_at);
    void follow_loader_rate();
    void handle_frame(char letter, std::string_view payload);
    void handle_control(std::string_view payload);
    void set_flags(std::uint8_t flags, std::chrono::nanoseconds at);
    void send(char letter, std::string_view payload, std::chrono::nanoseconds at);
    void send_status(std::chrono::nanoseconds at);
    void start_reset(std::chrono::nanoseconds at);
    void start_running(std::chrono::nanoseconds at);
    void start_bootstrap(std::chrono::nanoseconds at);
    void leave_bootstrap_if_done();
    [[nodiscard]] std::chrono::nanoseconds frame_period() const;
    void event(const std::string& what) const;

    ScannerConfig config_;
    BootTargetFactory boot_factory_;
    std::unique_ptr<BootTarget> boot_target_;
    FrameAssembler assembler_;
    Line line_;
    Line input_; // from the host; paced like line_
    FaultInjector faults_;
    std::mt19937 jitter_rng_;
    std::int64_t turns_sent_ = 0; // status frames with stripes sent since start

    Mode mode_ = Mode::running;
    std::chrono::nanoseconds start_;
    std::chrono::nanoseconds now_;
    std::chrono::nanoseconds reset_end_{0};
    std::chrono::nanoseconds boot_window_end_{0};
    std::chrono::nanoseconds last_received_{0};
    std::chrono::nanoseconds next_frame_at_{0};
    std::chrono::nanoseconds flags_until_{0};
    std::uint8_t flags_ = 0;
    std::string boot_tail_; // the last bytes received within the bootstrap window
    std::uint64_t skipped_frames_ = 0;
    std::uint64_t dropped_input_ = 0;
    std::uint32_t host_rate_ = 57600;
    std::uint32_t loader_rate_ = 57600;
    std::mt19937 cable_rng_;
};

} // namespace trx::sim
