// record and replay: the wire into a capture file, and a capture through the monitor's
// receive assembly and decoders.
#include "base/numtext.hpp"
#include "base/version.hpp"
#include "capture/reader.hpp"
#include "cli/capture_port.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/turn_lines.hpp"
#include "link/receiver.hpp"
#include "ui/controls.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <string>

namespace trx::cli {

namespace {

using namespace std::chrono_literals;

// A reason of the capture library as the end of a one-line message: "The file is empty." ->
// "the file is empty".
std::string clause(std::string text) {
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
        std::islower(static_cast<unsigned char>(text[1])) != 0) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

// "2.0 s"
std::string seconds_text(std::uint64_t us) {
    const std::uint64_t tenths = (us + 50'000) / 100'000;
    return num::dec(static_cast<std::int64_t>(tenths / 10)) + "." +
           num::dec(static_cast<std::int64_t>(tenths % 10)) + " s";
}

// Waits on the tool's clock, so a test replays at the recorded pace in virtual time.
class Pacer {
public:
    Pacer(ui::Clock& clock, ui::EventPump& pump, std::function<bool()> interrupted)
        : pump_(pump), interrupted_(std::move(interrupted)) {
        clock.attach(timer_);
        tick_ = timer_.tick.connect([this] {
            fired_ = true;
            timer_.set_timer_enabled(false);
        });
    }
    ~Pacer() { timer_.set_timer_enabled(false); }
    Pacer(const Pacer&) = delete;
    Pacer& operator=(const Pacer&) = delete;
    Pacer(Pacer&&) = delete;
    Pacer& operator=(Pacer&&) = delete;

    [[nodiscard]] bool interrupted() const { return interrupted_ && interrupted_(); }
    // false when the user interrupted the wait.
    bool wait(std::chrono::nanoseconds span) {
        if (span < 1ms) {
            return !interrupted();
        }
        constexpr std::int64_t k_longest_ms = 24LL * 3600 * 1000;
        const auto ms = std::min<std::int64_t>(
            std::chrono::ceil<std::chrono::milliseconds>(span).count(), k_longest_ms);
        fired_ = false;
        timer_.set_interval(static_cast<int>(ms));
        timer_.set_timer_enabled(true);
        const bool pumped = pump_.pump_until([this] { return fired_ || interrupted(); });
        timer_.set_timer_enabled(false);
        return pumped && !interrupted();
    }

private:
    ui::EventPump& pump_;
    std::function<bool()> interrupted_;
    ui::Window window_{"replay", ""};
    ui::Timer timer_{window_, "pace", 1, false};
    bool fired_ = false;
    ui::Connection tick_;
};

// --speed in thousandths; 0: as fast as possible.
std::int64_t speed_milli(const CommandLine& line) {
    std::string text = line.option("--speed").value_or("1");
    std::replace(text.begin(), text.end(), '.', ',');
    const auto n = num::parse_comma(text, 3);
    return n ? n->scaled : 1000;
}

// The capture's received bytes through the receive assembly, as a port would deliver them.
// Status frames become turns once a parameter reply ("W") has told the scanner's type, as
// monitor reads the set before its first turn.
class Replay {
public:
    Replay(const CommandLine& line, CliServices& services)
        : services_(services), format_(turn_format(line)), speed_(speed_milli(line)),
          pacer_(services.clock, services.pump, services.interrupted) {
        receiver_.on_frame('W', [this](const link::ReceivedFrame& f) {
            service::ScanContext next =
                service::ScanContext::from_reply(link::decode_para_reply(f.body()));
            next.resolution = context_.resolution; // the number shown stays until a frame sends one
            context_ = next;
            typed_ = true;
        });
        receiver_.on_status([this](const link::ReceivedFrame& f) { print(f); },
                            [this] { return typed_; });
    }

    int run(const std::string& path) {
        capture::Reader reader = capture::Reader::open(path);
        if (reader.refused()) {
            return report(services_.err,
                          usage_error("cannot replay " + path + ": " + clause(reader.refusal())));
        }
        if (format_ == TurnFormat::csv) {
            services_.out << csv_header();
        }
        const auto start = services_.now();
        while (auto record = reader.next()) {
            if (record->kind != capture::Kind::received) {
                continue; // the tool's own writes and the port's events decode to nothing
            }
            if (!pace(start, record->time_us)) {
                services_.out.flush();
                return report(services_.err, {ErrorKind::interrupted, "interrupted"});
            }
            time_ms_ = static_cast<std::int64_t>(record->time_us / 1000);
            receiver_.port_event(link::k_ev_receive, record->data);
        }
        services_.out.flush();
        if (!reader.stop_reason().empty()) {
            return report(services_.err,
                          usage_error(path + ": the replay stopped at a bad record: " +
                                      clause(reader.stop_reason())));
        }
        if (!typed_ && receiver_.counters().good_frames > 0) {
            services_.err << k_program
                          << ": warning: the capture holds no parameter reply (\"W\"), so the "
                             "scanner type is unknown and no turn was decoded\n";
        }
        return 0;
    }

private:
    // Until the record is due: its time over the speed, from the start of the replay.
    bool pace(std::chrono::nanoseconds start, std::uint64_t time_us) {
        if (speed_ == 0) {
            // As fast as possible; an interrupt is still heard now and then.
            return (++unpaced_ % 1024 != 0) || !pacer_.interrupted();
        }
        const double due_ns = static_cast<double>(time_us) * 1e6 / static_cast<double>(speed_);
        const auto due = start + std::chrono::nanoseconds(static_cast<std::int64_t>(
                                     std::min(due_ns, 1e18))); // no overflow on any time
        return pacer_.wait(due - services_.now());
    }

    void print(const link::ReceivedFrame& frame) {
        const service::Turn turn = service::decode_turn(frame, context_, time_ms_);
        text_.clear();
        append_turn(text_, turn, format_);
        services_.out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        if (speed_ != 0) {
            services_.out.flush(); // at the recorded pace a line reaches a pipe as it happens
        }
    }

    CliServices& services_;
    TurnFormat format_;
    std::int64_t speed_;
    Pacer pacer_;
    link::Receiver receiver_;
    service::ScanContext context_;
    bool typed_ = false;
    std::int64_t time_ms_ = 0;
    std::uint64_t unpaced_ = 0;
    std::string text_;
};

// How long record runs: --seconds, or until interrupted.
std::optional<std::uint64_t> record_limit_us(const CommandLine& line) {
    const auto seconds = line.option("--seconds");
    if (!seconds) {
        return std::nullopt;
    }
    return num::parse_whole(*seconds).value_or(1) * 1'000'000;
}

// Lets the wire run into the capture until the time is up, the user stops it, the port fails
// or the file cannot take more.
std::optional<Error> record_until_done(CommandContext& c, CapturePort& capture) {
    const auto limit = record_limit_us(c.line);
    constexpr std::uint64_t k_slice_us = 100'000; // how soon a failing disk is noticed
    for (;;) {
        if (!capture.failure().empty()) {
            return std::nullopt;
        }
        const std::uint64_t elapsed = capture.elapsed_us();
        if (limit && elapsed >= *limit) {
            return std::nullopt;
        }
        const std::uint64_t slice = limit ? std::min(k_slice_us, *limit - elapsed) : k_slice_us;
        const auto paused = c.session.pause(std::chrono::milliseconds((slice + 999) / 1000));
        if (!paused) {
            return paused.error();
        }
    }
}

} // namespace

TurnFormat turn_format(const CommandLine& line) {
    if (line.has("--json")) {
        return TurnFormat::json;
    }
    return line.has("--csv") ? TurnFormat::csv : TurnFormat::text;
}

Result<std::unique_ptr<capture::Sink>> create_capture_file(const CliServices& services,
                                                           const std::string& path) {
    std::error_code ec;
    std::unique_ptr<capture::Sink> sink = services.open_capture
                                              ? services.open_capture(path, ec)
                                              : capture::FileSink::create(path, ec);
    if (sink == nullptr) {
        return usage_error("cannot write " + path + ": " + ec.message());
    }
    return sink;
}

std::unique_ptr<CapturePort> capture_port(const CliServices& services,
                                          std::unique_ptr<capture::Sink> file,
                                          const std::string& port_name) {
    auto writer = std::make_unique<capture::Writer>(
        std::move(file),
        capture::Header{std::string(k_program) + " " + std::string(k_version), port_name});
    return std::make_unique<CapturePort>(services.port, services.clock, std::move(writer));
}

int run_record(CommandContext& c) {
    CapturePort& capture = *c.capture;
    const std::string& path = c.line.args.front();
    // The set goes into the capture too, so its replay knows the scanner's type.
    std::optional<Error> stopped;
    if (auto reply = c.session.read_parameters(); !reply) {
        if (reply.error().kind == ErrorKind::no_answer) {
            c.services.err << k_program << ": warning: " << reply.error().message
                           << "; the recording goes on, its replay will decode no turns\n";
        } else {
            stopped = reply.error();
        }
    }
    if (!stopped) {
        stopped = record_until_done(c, capture);
    }
    const std::uint64_t elapsed = capture.elapsed_us();
    c.session.close();
    const std::string failure = capture.finish();
    if (!failure.empty()) {
        return report(c.services.err,
                      usage_error("the recording to " + path + " stopped: " + clause(failure) +
                                  "; what was recorded until then stays readable"));
    }
    const CaptureCounts& n = capture.counts();
    c.services.err << "Recorded " << seconds_text(elapsed) << " into " << path << ": " << n.records
                   << " records, " << n.received << " bytes received, " << n.sent
                   << " bytes sent\n";
    if (stopped && stopped->kind != ErrorKind::interrupted) {
        return report(c.services.err, *stopped);
    }
    return 0; // Ctrl+C is the usual end of a recording
}

int run_replay(const CommandLine& line, CliServices& services) {
    Replay replay(line, services);
    return replay.run(line.args.front());
}

} // namespace trx::cli
