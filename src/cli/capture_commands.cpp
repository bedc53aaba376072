// record and replay: the wire into a capture file, and a capture through the monitor's
// receive assembly and decoders.
#include "base/numtext.hpp"
#include "base/output_file.hpp"
#include "base/version.hpp"
#include "capture/player.hpp"
#include "cli/capture_port.hpp"
#include "cli/commands.hpp"
#include "cli/exit_status.hpp"
#include "cli/stats_report.hpp"
#include "cli/turn_lines.hpp"
#include "link/receiver.hpp"
#include "service/waiter.hpp"

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
    // "A damaged record" too; an abbreviation such as "CRC" keeps its capitals.
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
        (std::islower(static_cast<unsigned char>(text[1])) != 0 || text[1] == ' ')) {
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

// --speed in thousandths; 0: as fast as possible.
std::int64_t speed_milli(const CommandLine& line) {
    std::string text = line.option("--speed").value_or("1");
    std::replace(text.begin(), text.end(), '.', ',');
    const auto n = num::parse_comma(text, 3);
    return n ? n->scaled : 1000;
}

// The capture's received bytes through the receive assembly, played as a port would deliver
// them. Status frames become turns once a parameter reply ("W") has told the scanner's type,
// as monitor reads the set before its first turn.
class Replay {
public:
    Replay(const CommandLine& line, CliServices& services)
        : services_(services), format_(turn_format(line)), speed_(speed_milli(line)),
          player_(services.clock) {
        if (line.has("--stats")) {
            // Statistics want every turn, not the recorded pace.
            stats_.emplace(service::StatisticsSettings{
                .window = stats_window(line, service::ScanStatistics::k_largest_window)});
            speed_ = capture::Player::k_as_fast_as_it_goes;
        }
        receiver_.on_frame('W', [this](const link::ReceivedFrame& f) {
            service::ScanContext next =
                service::ScanContext::from_reply(link::decode_para_reply(f.body()));
            next.resolution = context_.resolution; // the number shown stays until a frame sends one
            context_ = next;
            typed_ = true;
            if (stats_) {
                stats_->set_type(next.type);
            }
        });
        receiver_.on_status([this](const link::ReceivedFrame& f) { print(f); },
                            [this] { return typed_; });
        if (const auto type = line.option("--type")) {
            context_.type = *type == "YA" ? link::ScannerType::ya : link::ScannerType::za;
            typed_ = true;
        }
        if (const auto m = line.option("--max-modul")) {
            context_.max_modul = static_cast<std::int32_t>(num::parse_whole(*m).value_or(0));
        }
        player_.set_speed(speed_);
        connections_ += player_.received.connect(
            [this](std::string_view bytes) { receiver_.port_event(link::k_ev_receive, bytes); });
        connections_ += player_.lost.connect([this](const std::string&) { ended_ = true; });
    }

    int run(const std::string& path) {
        // A "YA" scanner's gaps are measured against M: without it every turn would fault.
        if (context_.type == link::ScannerType::ya && !context_.max_modul) {
            return report(services_.err,
                          usage_error("--type YA needs --max-modul M, the set's maximum modul "
                                      "width"));
        }
        player_.set_file(path);
        if (const ui::OpenResult opened = player_.open(); !opened.ok) {
            return report(services_.err,
                          usage_error("cannot replay " + path + ": " + clause(opened.reason)));
        }
        if (format_ == TurnFormat::csv && !stats_) {
            services_.out << csv_header();
        }
        const bool played = play();
        if (played && stats_) {
            services_.out << stats_report(*stats_, format_); // a bad record ends the turns too
        }
        services_.out.flush();
        if (!played) {
            return report(services_.err, {ErrorKind::interrupted, "interrupted"});
        }
        if (!player_.stop_reason().empty()) {
            return report(services_.err,
                          usage_error(path + ": the replay stopped at a bad record: " +
                                      clause(player_.stop_reason())));
        }
        // Printing nothing with status 0 would pass for an empty capture.
        if (!typed_) {
            return report(services_.err,
                          {ErrorKind::bad_input,
                           path + ": the capture holds no parameter reply (\"W\"), so the "
                                  "scanner type is unknown and no turn was decoded; give "
                                  "--type ZA, or --type YA with --max-modul M"});
        }
        return 0;
    }

private:
    // Until the capture's end; false when the user interrupted it.
    bool play() {
        if (speed_ == capture::Player::k_as_fast_as_it_goes) {
            return player_.play_all(services_.interrupted);
        }
        service::Waiter waiter(services_.clock, services_.pump, services_.interrupted);
        while (!ended_) {
            if (waiter.wait_for([this] { return ended_; }, std::chrono::hours(1)) ==
                service::Waiter::End::interrupted) {
                return false;
            }
        }
        return true;
    }

    void print(const link::ReceivedFrame& frame) {
        const auto time_ms = static_cast<std::int64_t>(player_.time_us() / 1000);
        const service::Turn turn = service::decode_turn(frame, context_, time_ms);
        if (stats_) {
            stats_->add(turn);
            return;
        }
        text_.clear();
        append_turn(text_, turn, format_);
        services_.out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        if (speed_ != capture::Player::k_as_fast_as_it_goes) {
            services_.out.flush(); // at the recorded pace a line reaches a pipe as it happens
        }
    }

    CliServices& services_;
    TurnFormat format_;
    std::int64_t speed_;
    capture::Player player_;
    link::Receiver receiver_;
    service::ScanContext context_;
    bool typed_ = false;
    bool ended_ = false;
    std::optional<service::ScanStatistics> stats_;
    std::string text_;
    ui::Connections connections_;
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
// or the file cannot take more (failure then says why).
std::optional<Error> record_until_done(CommandContext& c, capture::Recorder& recorder,
                                       std::string& failure) {
    const auto limit = record_limit_us(c.line);
    constexpr std::uint64_t k_slice_us = 100'000; // how soon a failing disk is noticed
    for (;;) {
        failure = recorder.check();
        if (!failure.empty()) {
            return std::nullopt;
        }
        const std::uint64_t elapsed = recorder.elapsed_us();
        if (limit && elapsed >= *limit) {
            return std::nullopt;
        }
        const std::uint64_t slice = limit ? std::min(k_slice_us, *limit - elapsed) : k_slice_us;
        const auto paused = c.session.pause(std::chrono::milliseconds((slice + 999) / 1000));
        if (paused) {
            continue;
        }
        const bool lost = paused.error().kind == ErrorKind::port;
        if (!lost || !c.line.has("--follow")) {
            return paused.error();
        }
        // The loss and the reopening stand in the capture as the port's events.
        if (!wait_for_port_back(c.session, c.services.err, paused.error())) {
            return Error{ErrorKind::interrupted, "interrupted"};
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
    if (sink == nullptr && ec == std::errc::interrupted) {
        return Error{ErrorKind::interrupted, "interrupted; nothing was recorded"};
    }
    if (sink == nullptr) {
        return Error{ec.category() == output_category() ? ErrorKind::bad_input
                                                        : ErrorKind::local_file,
                     "cannot write " + path + ": " + ec.message()};
    }
    return sink;
}

std::unique_ptr<CapturePort> capture_port(const CliServices& services,
                                          std::unique_ptr<capture::Sink> file,
                                          const std::string& port_name) {
    return std::make_unique<CapturePort>(services.port, services.clock,
                                         std::string(k_program) + " " + std::string(k_version),
                                         std::move(file), port_name);
}

int run_record(CommandContext& c) {
    capture::Recorder& recorder = c.capture->recorder();
    const std::string& path = c.line.args.front();
    // The port is open: now the recording takes the file's name, once its header is written.
    if (const std::error_code ec = recorder.publish(); ec) {
        return report(c.services.err, {ErrorKind::local_file,
                                       "cannot write " + path + ": " + ec.message() +
                                           "; nothing was recorded and the file is as it was"});
    }
    // The set goes into the capture too, so its replay knows the scanner's type.
    std::optional<Error> stopped;
    std::string failure;
    if (auto reply = c.session.read_parameters(); !reply) {
        if (reply.error().kind == ErrorKind::no_answer) {
            c.services.err << k_program << ": warning: " << reply.error().message
                           << "; the recording goes on, its replay will decode no turns\n";
        } else {
            stopped = reply.error();
        }
    }
    if (!stopped) {
        stopped = record_until_done(c, recorder, failure);
    }
    const std::uint64_t elapsed = recorder.elapsed_us();
    c.session.close();
    if (failure.empty()) {
        failure = recorder.stop();
    }
    if (!failure.empty()) {
        return report(c.services.err, {ErrorKind::local_file,
                                       "the recording to " + path + " stopped: " + clause(failure) +
                                           "; what was recorded until then stays readable"});
    }
    const capture::RecordingCounts& n = recorder.counts();
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
