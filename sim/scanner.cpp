#include "sim/scanner.hpp"

#include "base/numtext.hpp"
#include "sim/wire.hpp"

#include <algorithm>
#include <utility>

namespace trx::sim {

using std::chrono::nanoseconds;

namespace {

constexpr std::uint8_t k_motor_off = 1;
constexpr std::uint8_t k_laser_on = 2;

bool all_hex(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return num::hex_digit(c) >= 0; });
}

} // namespace

Scanner::Scanner(ScannerConfig config, nanoseconds now, BootTargetFactory boot)
    : config_(std::move(config)), boot_factory_(std::move(boot)),
      assembler_([this](char letter, std::string_view payload) { handle_frame(letter, payload); }),
      line_(config_.pace), input_(config_.pace), faults_(config_.faults, config_.seed + 1),
      jitter_rng_(config_.seed), start_(now), now_(now), cable_rng_(config_.seed + 2) {
    // Power-on is a reset too: the bootstrap string is taken in its first 500 ms.
    start_running(now);
}

bool Scanner::mirror_turning() const {
    return mode_ == Mode::running && (flags_ & k_motor_off) == 0;
}

std::uint16_t Scanner::status_word() const {
    std::uint16_t w = 0;
    if (mirror_turning()) {
        w |= k_speed_ok;
    }
    if (config_.scene.temperature < k_temperature_low_below) {
        w |= k_temperature_low;
        if ((config_.params.switches & 1U) != 0) {
            w |= k_heater_active;
        }
    }
    if (laser_forced()) {
        w |= k_laser_forced;
    }
    return w;
}

std::int32_t Scanner::increments() const {
    return resolution_increments(config_.params.resolution).value_or(8192);
}

nanoseconds Scanner::turn_period() const {
    // Speed in tenths of turns per second; a set out of range (from a state file) is clamped.
    const std::int64_t tenths = std::clamp<std::int64_t>(config_.params.speed, 60, 180);
    return nanoseconds(10'000'000'000LL / tenths);
}

nanoseconds Scanner::frame_period() const {
    return mirror_turning() ? turn_period() : nanoseconds(k_standstill_period);
}

void Scanner::event(const std::string& what) const {
    if (on_event) {
        on_event(what);
    }
}

// --- time ---------------------------------------------------------------------------------

void Scanner::advance(nanoseconds now) {
    now_ = std::max(now_, now);
    if (input_.paced()) {
        if (const std::string arrived = input_.take(now_); !arrived.empty()) {
            receive(arrived);
        }
    }
    switch (mode_) {
    case Mode::resetting:
        if (now_ >= reset_end_) {
            start_running(reset_end_);
            run_turns(now_);
        }
        return;
    case Mode::bootstrap:
        if (boot_target_) {
            std::string out;
            boot_target_->poll(now_, out);
            from_loader(out);
            leave_bootstrap_if_done();
        } else if (now_ - last_received_ >= k_bootstrap_silence) {
            event("bootstrap loader left after 5 s of silence");
            start_reset(last_received_ + k_bootstrap_silence);
            advance(now_);
        }
        return;
    case Mode::running:
        run_turns(now_);
        return;
    }
}

void Scanner::run_turns(nanoseconds now) {
    for (;;) {
        // The control flags fall back when no "C" came for 500 ms; that may change the
        // cadence, so it is handled in time order with the frames.
        if (flags_ != 0 && flags_until_ <= now && flags_until_ <= next_frame_at_) {
            set_flags(0, flags_until_);
            continue;
        }
        if (next_frame_at_ > now) {
            return;
        }
        if (now - next_frame_at_ > k_max_catch_up) {
            next_frame_at_ = now; // the caller was stalled: no burst of old turns
        }
        send_status(next_frame_at_);
        next_frame_at_ += frame_period();
    }
}

std::string Scanner::poll(nanoseconds now) {
    advance(now);
    std::string out = line_.take(now_);
    if (faults_.silent(now_ - start_)) {
        out.clear();
    }
    return out;
}

nanoseconds Scanner::next_event(nanoseconds now) const {
    nanoseconds next = nanoseconds::max();
    const auto consider = [&next](nanoseconds t) { next = std::min(next, t); };
    if (const auto d = line_.next_departure()) {
        consider(*d);
    }
    if (const auto d = input_.next_departure()) {
        consider(*d);
    }
    switch (mode_) {
    case Mode::resetting:
        consider(reset_end_);
        break;
    case Mode::bootstrap:
        consider(boot_target_ ? now + nanoseconds(k_bootstrap_poll)
                              : last_received_ + k_bootstrap_silence);
        break;
    case Mode::running:
        consider(next_frame_at_);
        if (flags_ != 0) {
            consider(flags_until_);
        }
        break;
    }
    if (const auto change = faults_.next_change(now - start_)) {
        consider(start_ + *change);
    }
    return std::max(next, now);
}

// --- input --------------------------------------------------------------------------------

void Scanner::feed(std::string_view bytes, nanoseconds now) {
    advance(now);
    if (!input_.paced()) {
        receive(bytes);
        return;
    }
    if (input_.backlog(now_) + bytes.size() > k_max_input_backlog) {
        dropped_input_ += bytes.size();
        return;
    }
    input_.queue(bytes, now_);
}

void Scanner::receive(std::string_view bytes) {
    last_received_ = now_;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (mode_ == Mode::bootstrap) {
            give_to_loader(bytes.substr(i));
            return;
        }
        if (mode_ == Mode::resetting) {
            return; // the controller is restarting: what arrives now is lost
        }
        take_byte(bytes[i]);
    }
}

void Scanner::take_byte(char c) {
    assembler_.feed(c);
    if (mode_ != Mode::running || now_ > boot_window_end_) {
        return;
    }
    // Cut back to the string's length only now and then, not at every byte.
    boot_tail_ += c;
    if (boot_tail_.size() > 4 * k_bootstrap_string.size()) {
        boot_tail_.erase(0, boot_tail_.size() - k_bootstrap_string.size());
    }
    if (std::string_view(boot_tail_).ends_with(k_bootstrap_string)) {
        start_bootstrap(now_);
    }
}

void Scanner::give_to_loader(std::string_view bytes) {
    if (!boot_target_) {
        return; // no loader built in: the scanner just stays quiet
    }
    follow_loader_rate(); // a switch whose answer has left by now applies to these bytes
    std::string out;
    boot_target_->receive(through_cable(std::string(bytes), host_rate_, loader_rate_), now_, out);
    from_loader(out);
    leave_bootstrap_if_done();
}

// What the loader sends leaves at its port's rate; a switch it asks for applies once the
// line has drained.
void Scanner::from_loader(std::string& out) {
    line_.queue(through_cable(std::move(out), loader_rate_, host_rate_), now_);
    follow_loader_rate();
}

void Scanner::follow_loader_rate() {
    const std::uint32_t wanted = boot_target_ ? boot_target_->line_rate() : 57600;
    if (wanted != loader_rate_ && line_.backlog(now_) == 0) {
        loader_rate_ = wanted;
        line_.set_rate(wanted, now_);
    }
}

void Scanner::set_host_rate(std::uint32_t baud, nanoseconds now) {
    if (baud == host_rate_ || baud == 0) {
        return;
    }
    advance(now);
    host_rate_ = baud;
    input_.set_rate(baud, now_);
}

std::string Scanner::through_cable(std::string bytes, std::uint32_t sent_at,
                                   std::uint32_t read_at) {
    if (sent_at != read_at) {
        for (char& c : bytes) {
            c = static_cast<char>(cable_rng_() & 0xFFU); // read at another rate: garbage
        }
        return bytes;
    }
    if (config_.cable_max_baud == 0 || sent_at <= config_.cable_max_baud) {
        return bytes;
    }
    for (char& c : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            if (cable_rng_() % 100 == 0) {
                c = static_cast<char>(static_cast<std::uint8_t>(c) ^ (1U << bit));
            }
        }
    }
    return bytes;
}

void Scanner::handle_frame(char letter, std::string_view payload) {
    switch (letter) {
    case 'R':
        if (payload.empty()) {
            send('W', encode_params(config_.params, config_.type), now_);
        }
        return;
    case 'W':
        if (auto p = decode_params(payload, config_.type, config_.params)) {
            config_.params = *p;
            send('P', {}, now_);
            event("parameter set stored");
            if (on_stored) {
                on_stored();
            }
        }
        return;
    case 'L':
        if (payload.empty()) {
            send('L', num::hex_upper(config_.index, 4), now_);
        }
        return;
    case 'I':
        if (payload.size() == 4 && all_hex(payload)) {
            config_.index = static_cast<std::uint16_t>(wire::hex(payload));
            send('I', {}, now_);
            event("index " + num::dec(config_.index) + " stored");
            if (on_stored) {
                on_stored();
            }
        }
        return;
    case 'C':
        handle_control(payload);
        return;
    case 'F':
        if (payload.empty()) {
            event("reset");
            start_reset(now_);
        }
        return;
    default:
        return; // unknown commands are ignored
    }
}

void Scanner::handle_control(std::string_view payload) {
    if (payload.size() != 2 || !all_hex(payload)) {
        return;
    }
    const auto flags = static_cast<std::uint8_t>(wire::hex(payload) & (k_motor_off | k_laser_on));
    set_flags(flags, now_);
    flags_until_ = now_ + k_keep_alive;
}

void Scanner::set_flags(std::uint8_t flags, nanoseconds at) {
    const bool was_turning = mirror_turning();
    flags_ = flags;
    if (mirror_turning() != was_turning) {
        // Stopping: the standstill frames start; starting: the first turn is one period off.
        next_frame_at_ = at + frame_period();
        event(was_turning ? "mirror stopped" : "mirror turning");
    }
}

// --- output -------------------------------------------------------------------------------

void Scanner::send(char letter, std::string_view payload, nanoseconds at) {
    if (line_.backlog(at) > k_max_backlog) {
        return;
    }
    line_.queue(faults_.apply(wire::frame(letter, payload)), at);
}

void Scanner::send_status(nanoseconds at) {
    if (line_.backlog(at) > k_transmit_buffer) {
        ++skipped_frames_; // the transmitter is still busy with earlier turns
        return;
    }
    const std::int32_t r = increments();
    const int temperature = std::clamp(config_.scene.temperature + 127, 0, 255);
    std::string payload;
    payload.reserve(10 + 10 * config_.scene.stripes.size());
    num::append_hex_upper(payload, static_cast<std::uint32_t>(r - 1), 4);
    num::append_hex_upper(payload, static_cast<std::uint32_t>(temperature), 2);
    num::append_hex_upper(payload, status_word(), 4);
    if (mirror_turning()) {
        const TurnMoment moment{
            turns_sent_++,
            std::chrono::duration_cast<std::chrono::milliseconds>(at - start_).count()};
        for (const auto& rec : turn_records(config_.scene, r, config_.type, jitter_rng_, moment)) {
            num::append_hex_upper(payload, static_cast<std::uint32_t>(rec.start), 4);
            num::append_hex_upper(payload, static_cast<std::uint32_t>(rec.width), 4);
            if (config_.type == ScannerType::ya) {
                num::append_hex_upper(payload, rec.code, 2);
            }
        }
    }
    send('S', payload, at);
}

// --- modes --------------------------------------------------------------------------------

void Scanner::start_reset(nanoseconds at) {
    mode_ = Mode::resetting;
    reset_end_ = at + k_reset_silence;
    flags_ = 0;
    line_.clear();
    assembler_.reset();
    boot_target_.reset();
}

void Scanner::start_running(nanoseconds at) {
    mode_ = Mode::running;
    // The firmware talks at 57600, whatever rate its loader ran at.
    loader_rate_ = 57600;
    line_.set_rate(57600, at);
    boot_window_end_ = at + k_bootstrap_window;
    boot_tail_.clear();
    next_frame_at_ = at + frame_period();
}

void Scanner::start_bootstrap(nanoseconds at) {
    mode_ = Mode::bootstrap;
    line_.clear();
    assembler_.reset();
    boot_tail_.clear();
    last_received_ = at;
    event(boot_factory_ ? "bootstrap loader entered"
                        : "bootstrap loader entered (no flash target)");
    if (boot_factory_) {
        boot_target_ = boot_factory_();
    }
    if (boot_target_) {
        boot_target_->enter(at);
    }
}

void Scanner::leave_bootstrap_if_done() {
    if (boot_target_ && boot_target_->finished()) {
        event("bootstrap loader finished");
        if (const auto version = boot_target_->booted_version()) {
            config_.params.version = *version;
        }
        // The target's last answers are on their way; the controller then restarts.
        boot_target_.reset();
        mode_ = Mode::resetting;
        reset_end_ = now_ + k_reset_silence;
        flags_ = 0;
        assembler_.reset();
    }
}

} // namespace trx::sim
