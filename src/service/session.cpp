#include "service/session.hpp"

#include "base/numtext.hpp"
#include "history/recorder.hpp"
#include "link/frame.hpp"

#include <algorithm>
#include <utility>

namespace trx::service {

namespace {

// "3 s", "0.5 s", "1.25 s".
std::string seconds_text(std::chrono::milliseconds ms) {
    const auto count = ms.count();
    std::string text = num::dec(count / 1000);
    if (const auto millis = count % 1000; millis != 0) {
        std::string fraction = num::dec(1000 + millis).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text + " s";
}

// The port's reasons may run over several lines; an error is one.
// A line end and the indent after it become one blank.
std::string one_line(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out += text[i];
            continue;
        }
        out += ' ';
        while (i + 1 < text.size() && text[i + 1] == ' ') {
            ++i;
        }
    }
    return out;
}

std::string quoted(char letter) {
    return std::string("\"") + letter + "\"";
}

// Once a store has left, neither a time-out nor an interrupt tells whether the scanner took
// it: the message says so, and how to find out.
Result<Done> honest_store_end(Result<Done> r, std::string_view what,
                              std::string_view read_command) {
    if (r) {
        return r;
    }
    if (r.error().kind == ErrorKind::not_acknowledged) {
        return Error{ErrorKind::not_acknowledged,
                     r.error().message + "; it may or may not have stored it"};
    }
    if (r.error().kind == ErrorKind::interrupted) {
        return Error{ErrorKind::interrupted,
                     "interrupted after " + std::string(what) +
                         " was sent: the scanner may or may not have stored it; run `" +
                         std::string(read_command) + "`"};
    }
    return r;
}

} // namespace

Session::Session(Services services, std::chrono::milliseconds timeout)
    : services_(std::move(services)), timeout_(std::max(timeout, std::chrono::milliseconds(1))),
      waiter_(services_.clock, services_.pump, services_.interrupted),
      receiver_(link::ReceiveEvents{[this] { online_ = true; }, {}, {}}) {
    receiver_.on_status([this](const link::ReceivedFrame& f) { on_status(f); },
                        [this] { return on_turn_ != nullptr && !stream_ended_; });
    receiver_.on_frame('W', [this](const link::ReceivedFrame& f) {
        para_reply_ = link::decode_para_reply(f.body());
        para_answered_ = true;
    });
    receiver_.on_frame('P', [this](const link::ReceivedFrame&) { para_saved_ = true; });
    receiver_.on_frame('L', [this](const link::ReceivedFrame& f) {
        index_ = link::decode_index_reply(f.body());
        index_answered_ = index_.has_value(); // too short to hold an index: no answer
    });
    receiver_.on_frame('I', [this](const link::ReceivedFrame&) { index_saved_ = true; });

    connections_ += services_.port.received.connect(
        [this](std::string_view bytes) { receiver_.port_event(link::k_ev_receive, bytes); });
    connections_ += services_.port.lost.connect([this](const std::string& why) {
        lost_ = why.empty() ? std::string("the device was disconnected") : one_line(why);
        note(LogLevel::warning, [&] { return "port " + port_name_ + " lost: " + lost_; });
    });
}

Session::~Session() {
    close();
}

Result<Done> Session::open(const std::string& port_name) {
    close();
    port_name_ = port_name;
    services_.port.set_port_name(port_name);
    const ui::OpenResult opened = services_.port.open();
    if (!opened.ok) {
        const std::string why = services_.diagnosis != nullptr
                                    ? services_.diagnosis->explain(port_name, opened.reason)
                                    : opened.reason;
        note(LogLevel::warning, [&] { return "cannot open " + port_name + ": " + one_line(why); });
        return Error{ErrorKind::port, "cannot open " + port_name + ": " + one_line(why)};
    }
    note(LogLevel::info, [&] { return "port " + port_name + " open"; });
    lost_.clear();
    online_ = false;
    reported_.reset();
    receiver_.reset_counters();
    opened_at_ = services_.now();
    return Done{};
}

void Session::close() {
    if (services_.port.is_open()) {
        services_.port.close();
        note(LogLevel::info, [&] { return "port " + port_name_ + " closed"; });
    }
}

bool Session::interrupted() const {
    return waiter_.interrupted();
}

// A command frame, whole, in one write; false when the port did not take it.
bool Session::write_frame(char letter, std::string_view payload) {
    return services_.port.is_open() && services_.port.write(link::build_frame(letter, payload));
}

std::int64_t Session::elapsed_ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(services_.now() - opened_at_)
        .count();
}

Session::WaitEnd Session::wait_for(const std::function<bool()>& done,
                                   std::chrono::milliseconds limit) {
    const Waiter::End end = waiter_.wait_for([&] { return done() || !lost_.empty(); }, limit);
    if (done()) {
        return WaitEnd::done; // an answer wins over a time-out that fell due with it
    }
    if (end == Waiter::End::interrupted) {
        return WaitEnd::interrupted;
    }
    return lost_.empty() ? WaitEnd::timed_out : WaitEnd::lost;
}

Error Session::failed_wait(WaitEnd end, ErrorKind timed_out_kind,
                           const std::string& timed_out) const {
    switch (end) {
    case WaitEnd::interrupted:
        return {ErrorKind::interrupted, "interrupted"};
    case WaitEnd::lost:
        return {ErrorKind::port, "the port " + port_name_ + " failed: " + lost_};
    case WaitEnd::done:
    case WaitEnd::timed_out:
        break;
    }
    std::string message = timed_out;
    if (const auto& c = receiver_.counters(); c.bad_checksums > 0 && c.good_frames == 0) {
        message += " (frames with a bad checksum: " +
                   num::dec(static_cast<std::int64_t>(c.bad_checksums)) + ")";
    }
    return {timed_out_kind, message};
}

Result<Done> Session::wait_online() {
    const WaitEnd end = wait_for([this] { return online_; }, timeout_);
    if (end == WaitEnd::done) {
        note(LogLevel::info, [&] {
            return "link up on " + port_name_ + " after " + num::dec(elapsed_ms()) + " ms";
        });
        return Done{};
    }
    return failed_wait(end, ErrorKind::no_answer,
                       "no answer from the scanner on " + port_name_ + " within " +
                           seconds_text(timeout_));
}

Result<Done> Session::request(char letter, std::string_view payload, bool& answered,
                              ErrorKind timed_out_kind, const std::string& timed_out) {
    answered = false;
    // An interrupt that came before is honoured before the command leaves: nothing is sent.
    if (interrupted()) {
        return Error{ErrorKind::interrupted, "interrupted"};
    }
    if (!write_frame(letter, payload)) {
        return Error{ErrorKind::port,
                     "the port " + port_name_ + " did not take the " + quoted(letter) + " command"};
    }
    const WaitEnd end = wait_for([&answered] { return answered; }, timeout_);
    if (end == WaitEnd::done) {
        return Done{};
    }
    return failed_wait(end, timed_out_kind, timed_out + " within " + seconds_text(timeout_));
}

Result<link::ParaReply> Session::read_parameters() {
    const auto r = request('R', {}, para_answered_, ErrorKind::no_answer,
                           "no answer to \"R\" (read parameters)");
    if (!r) {
        return r.error();
    }
    record_read(para_reply_);
    return para_reply_;
}

void Session::record_read(const link::ParaReply& reply) {
    if (services_.history != nullptr) {
        // The first set on a connection tells which scanner was there.
        if (!reported_) {
            services_.history->seen(reply, index_);
        }
        services_.history->read(reply);
    }
    reported_ = reply;
}

Result<std::uint16_t> Session::read_index() {
    const auto r =
        request('L', {}, index_answered_, ErrorKind::no_answer, "no answer to \"L\" (read index)");
    if (!r) {
        return r.error();
    }
    return *index_;
}

Result<Done> Session::store_parameters(const link::ParaSet& set, bool extended) {
    std::string payload;
    for (const std::string& field : link::para_fields(set, extended)) {
        payload += field;
    }
    if (interrupted()) {
        return Error{ErrorKind::interrupted, "interrupted before the set was sent; nothing was "
                                             "stored"};
    }
    auto r =
        honest_store_end(request('W', payload, para_saved_, ErrorKind::not_acknowledged,
                                 "the scanner did not acknowledge the parameter set (no \"P\")"),
                         "the set", "params get");
    if (services_.history != nullptr) {
        services_.history->store(extended ? link::ScannerType::ya : link::ScannerType::za,
                                 reported_ ? reported_->set : set, set,
                                 r ? std::nullopt : std::optional<Error>(r.error()));
    }
    return r;
}

Result<Done> Session::store_index(std::uint16_t index) {
    if (interrupted()) {
        return Error{ErrorKind::interrupted, "interrupted before the index was sent; nothing "
                                             "was stored"};
    }
    auto r = honest_store_end(request('I', num::hex_upper(index, 4), index_saved_,
                                      ErrorKind::not_acknowledged,
                                      "the scanner did not acknowledge the index (no \"I\")"),
                              "the index", "index get");
    if (services_.history != nullptr) {
        services_.history->index(reported_ ? std::optional(reported_->set.serial_number)
                                           : std::nullopt,
                                 index, r ? std::nullopt : std::optional<Error>(r.error()));
    }
    return r;
}

Result<Done> Session::stream(ScanContext context, const TurnHandler& on_turn) {
    scan_ = context;
    on_turn_ = &on_turn;
    stream_ended_ = false;
    for (;;) {
        turned_ = false;
        const WaitEnd end = wait_for([this] { return turned_ || stream_ended_; }, timeout_);
        if (stream_ended_) {
            break;
        }
        if (end != WaitEnd::done) {
            on_turn_ = nullptr;
            std::string what = "no scan from the scanner within " + seconds_text(timeout_);
            if (const auto& c = receiver_.counters(); !c.last_fault.empty()) {
                what += " (last decoding fault: " + c.last_fault + ")";
            }
            return failed_wait(end, ErrorKind::no_answer, what);
        }
    }
    on_turn_ = nullptr;
    return Done{};
}

void Session::on_status(const link::ReceivedFrame& frame) {
    const Turn turn = decode_turn(frame, scan_, elapsed_ms());
    turned_ = true;
    if (!(*on_turn_)(turn)) {
        stream_ended_ = true;
    }
}

Result<Done> Session::send(char letter, std::string_view what) {
    if (!write_frame(letter, {})) {
        return Error{ErrorKind::port,
                     "the port " + port_name_ + " did not take " + std::string(what)};
    }
    return Done{};
}

Result<Done> Session::write_raw(std::string_view bytes, std::string_view what) {
    if (!services_.port.write(bytes)) {
        return Error{ErrorKind::port,
                     "the port " + port_name_ + " did not take " + std::string(what)};
    }
    return Done{};
}

Result<Done> Session::pause(std::chrono::milliseconds span) {
    const WaitEnd end = wait_for([] { return false; }, span);
    if (end == WaitEnd::timed_out) {
        return Done{};
    }
    return failed_wait(end, ErrorKind::no_answer, {});
}

Result<Done> Session::rest(std::chrono::milliseconds span) {
    if (waiter_.wait_for([] { return false; }, span) == Waiter::End::interrupted) {
        return Error{ErrorKind::interrupted, "interrupted"};
    }
    return Done{};
}

} // namespace trx::service
