#pragma once

#include "base/log.hpp"
#include "base/result.hpp"
#include "link/para_frame.hpp"
#include "link/receiver.hpp"
#include "service/turn.hpp"
#include "service/waiter.hpp"
#include "ui/platform.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace trx::history {
class Recorder;
}

namespace trx::service {

// What a session runs on. now: a monotonic time, for the turns' time stamps. interrupted:
// whether the user asked to stop (empty: never); every wait ends when it holds.
struct Services {
    ui::SerialPort& port;
    ui::Clock& clock;
    ui::EventPump& pump;
    std::function<std::chrono::nanoseconds()> now;
    std::function<bool()> interrupted;
    // Why a port will not open; the port's own reason when null.
    const ui::PortDiagnosis* diagnosis = nullptr;
    // The port opened, failed to open, lost and closed, under trx.session; silent when null.
    Log* log = nullptr;
    // Where the reads and stores go into the service history; none when null.
    history::Recorder* history = nullptr;
};

// Called for every decoded turn; false ends the stream.
using TurnHandler = std::function<bool(const Turn&)>;

// The scanner link as blocking steps for scripts: each step sends its command as the frame
// encoder builds it, waits for the answer through the program's receive assembly and
// returns the decoded value, or an error that says what happened. Every wait is bounded by
// the time-out, and ends early when the port fails or the user interrupts.
class Session final {
public:
    static constexpr std::chrono::milliseconds k_default_timeout{3000};

    explicit Session(Services services, std::chrono::milliseconds timeout = k_default_timeout);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    Session(Session&&) = delete;
    Session& operator=(Session&&) = delete;

    // "COM1" ... "COM10" or a device path. The error carries the system's reason.
    Result<Done> open(const std::string& port_name);
    // Drains what was written, then releases the port.
    void close();
    [[nodiscard]] bool is_open() const { return services_.port.is_open(); }
    [[nodiscard]] const std::string& port_name() const { return port_name_; }
    [[nodiscard]] std::chrono::milliseconds timeout() const { return timeout_; }
    [[nodiscard]] const link::ReceiveCounters& counters() const { return receiver_.counters(); }

    // Until a frame with a good checksum arrives.
    Result<Done> wait_online();
    // "R", answered by "W".
    Result<link::ParaReply> read_parameters();
    // "L", answered by "L".
    Result<std::uint16_t> read_index();
    // "W" with the set, short or extended, acknowledged by "P".
    Result<Done> store_parameters(const link::ParaSet& set, bool extended);
    // "I" with the index, acknowledged by "I".
    Result<Done> store_index(std::uint16_t index);
    // Decodes every status frame into a turn until on_turn returns false. A gap of more than
    // the time-out between two turns is an error.
    Result<Done> stream(ScanContext context, const TurnHandler& on_turn);

    // For the firmware update: a command frame, raw bytes, and a pause that an interrupt or
    // a failing port ends early.
    Result<Done> send(char letter, std::string_view what);
    Result<Done> write_raw(std::string_view bytes, std::string_view what);
    Result<Done> pause(std::chrono::milliseconds span);
    // A pause that only an interrupt ends early: between tries to open a lost port again.
    Result<Done> rest(std::chrono::milliseconds span);
    [[nodiscard]] bool interrupted() const;
    [[nodiscard]] history::Recorder* history() const { return services_.history; }
    // The monotonic time the session runs on.
    [[nodiscard]] std::chrono::nanoseconds now() const { return services_.now(); }
    // The set the scanner last reported on this connection; none before the first read.
    [[nodiscard]] const std::optional<link::ParaReply>& reported() const { return reported_; }

private:
    enum class WaitEnd { done, timed_out, interrupted, lost };
    WaitEnd wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // The error of a wait that did not end with its answer.
    Error failed_wait(WaitEnd end, ErrorKind timed_out_kind, const std::string& timed_out) const;
    Result<Done> request(char letter, std::string_view payload, bool& answered,
                         ErrorKind timed_out_kind, const std::string& timed_out);
    [[nodiscard]] std::int64_t elapsed_ms() const;
    bool write_frame(char letter, std::string_view payload);
    template <class MakeText> void note(LogLevel level, MakeText&& make) {
        log_if(services_.log, level, log_category::session, std::forward<MakeText>(make));
    }
    void on_status(const link::ReceivedFrame& frame);
    void record_read(const link::ParaReply& reply);

    Services services_;
    std::chrono::milliseconds timeout_;
    std::string port_name_;
    Waiter waiter_;
    link::Receiver receiver_;
    std::chrono::nanoseconds opened_at_{0};

    std::string lost_; // why the port failed under us; empty while it works
    bool online_ = false;
    bool para_answered_ = false;
    link::ParaReply para_reply_;
    bool index_answered_ = false;
    std::optional<std::uint16_t> index_;
    bool para_saved_ = false;
    bool index_saved_ = false;
    std::optional<link::ParaReply> reported_; // on this connection

    // The stream under way.
    const TurnHandler* on_turn_ = nullptr;
    ScanContext scan_;
    bool turned_ = false;
    bool stream_ended_ = false;

    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::service
