#include "flashlib/host_link.hpp"

#include "base/numtext.hpp"
#include "flashlib/frame_text.hpp"

#include <algorithm>

namespace trx::flash {

using proto::Status;

std::uint16_t HostLink::take_seqs(std::size_t count) {
    const std::uint16_t first = seq_;
    seq_ = static_cast<std::uint16_t>(seq_ + count);
    return first;
}

bool HostLink::send(const proto::Frame& f) {
    log_(LogLevel::debug, [&] { return "sent " + describe_frame(f); });
    return transport_.write(proto::encode(f));
}

bool HostLink::send_raw(std::string_view bytes) {
    log_(LogLevel::debug, [&] {
        return "sent " + num::dec(std::ssize(bytes)) +
               (bytes.size() == 1 ? " raw byte" : " raw bytes");
    });
    return transport_.write(bytes);
}

void HostLink::flush_input() {
    log_(LogLevel::debug, [] { return std::string("input flushed"); });
    transport_.flush_input();
    reader_.clear();
    ready_.clear();
    rx_.clear();
}

Incoming HostLink::receive(Duration deadline) {
    for (;;) {
        if (!ready_.empty()) {
            Incoming in{Incoming::Kind::frame, std::move(ready_.front())};
            ready_.pop_front();
            return in;
        }
        const Duration left = deadline - now();
        if (left <= Duration::zero()) {
            return {};
        }
        rx_.clear();
        if (!transport_.read(rx_, left)) {
            return {Incoming::Kind::failed, {}};
        }
        for (char c : rx_) {
            take(reader_.feed(static_cast<std::uint8_t>(c)));
        }
    }
}

// A delimited piece from the target: a frame for the queue, or a damaged one dropped (the
// timeout of the frame it answered recovers from it).
void HostLink::take(DelimitedReader::Event event) {
    if (event == DelimitedReader::Event::overlong) {
        ++damaged_;
        log_(LogLevel::warning, [] { return std::string("dropped an overlong piece"); });
        return;
    }
    if (event != DelimitedReader::Event::piece) {
        return;
    }
    auto f = proto::decode(reader_.piece());
    if (!f) {
        ++damaged_;
        log_(LogLevel::warning, [&] {
            return "dropped a damaged frame (" + num::dec(std::ssize(reader_.piece())) + " bytes)";
        });
        return;
    }
    log_(LogLevel::debug, [&] { return "received " + describe_frame(*f); });
    ready_.push_back(std::move(*f));
}

std::string describe_refusal(const proto::Ack& a, std::string_view what) {
    const std::string at = "0x" + num::hex_upper(a.info, 6);
    const std::string w(what);
    switch (a.status) {
    case Status::bad_address:
        return "the target refuses the address " + at + " (" + w + ")";
    case Status::verify_failed:
        return "verify failed at " + at + " (" + w + ")";
    case Status::bad_request:
        return "the target does not take " + w + " (out of step or not understood)";
    case Status::no_session:
        return "the target restarted: it has no session (" + w + ")";
    case Status::crc_error:
        return "the target reports damaged frames for " + w;
    case Status::busy:
    case Status::ok:
        break;
    }
    return "unexpected answer " + std::string(proto::status_name(a.status)) + " to " + w;
}

namespace {
std::string transmissions_text(int n) {
    return num::dec(n) + " transmissions";
}
std::string millis(Transport::Duration d) {
    return num::dec(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) + " ms";
}
} // namespace

Outcome HostLink::request(const proto::Frame& request, proto::Type reply_type,
                          const RequestLimits& limits, std::string_view what, proto::Frame& reply) {
    const std::string w(what);
    const Duration started = now();
    int sent = 0;
    Duration deadline{};
    auto transmit = [&] {
        ++sent;
        deadline = now() + limits.answer_wait;
        return send(request);
    };
    if (!transmit()) {
        return Outcome::failure(line_failure());
    }
    int damaged_run = 0;
    std::uint64_t damaged_seen = damaged_;
    // After a run of damaged exchanges at a raised rate the rate goes down, and the request
    // starts its transmissions afresh; at 57600 the retries decide.
    auto lowered = [&]() -> std::optional<Outcome> {
        damaged_run += static_cast<int>(damaged_ - damaged_seen);
        damaged_seen = damaged_;
        if (damaged_run < proto::k_step_down_after) {
            return std::nullopt;
        }
        auto o = lower_rate();
        if (!o) {
            return std::nullopt;
        }
        damaged_run = 0;
        damaged_seen = damaged_;
        if (!o->ok()) {
            return o;
        }
        sent = 0;
        return transmit() ? Outcome{} : Outcome::failure(line_failure());
    };
    for (;;) {
        // BUSY answers extend the wait for an answer, never the whole bound.
        if (now() - started >= limits.overall) {
            return Outcome::failure(
                w + " did not finish within " +
                num::dec(std::chrono::ceil<std::chrono::seconds>(limits.overall).count()) + " s");
        }
        Incoming in = receive(std::min(deadline, started + limits.overall));
        if (in.kind == Incoming::Kind::failed) {
            return Outcome::failure(line_failure());
        }
        if (in.kind == Incoming::Kind::timeout) {
            if (now() < deadline) {
                continue; // the overall bound is reached
            }
            ++damaged_run;
            if (auto o = lowered()) {
                if (!o->ok()) {
                    return *o;
                }
                continue;
            }
            if (sent >= limits.transmissions) {
                return Outcome::failure("no answer from the target to " + w + " after " +
                                        transmissions_text(sent));
            }
            log_(LogLevel::warning, [&] {
                return "no answer to " + w + " within " + millis(limits.answer_wait) +
                       ", transmission " + num::dec(sent + 1) + " of " +
                       num::dec(limits.transmissions);
            });
            if (!transmit()) {
                return Outcome::failure(line_failure());
            }
            continue;
        }
        if (in.frame.seq != request.seq) {
            log_(LogLevel::debug,
                 [&] { return "ignored: not the answer to seq " + num::dec(request.seq); });
            continue; // a late repeat of an earlier answer
        }
        if (in.frame.type == reply_type && reply_type != proto::Type::ack) {
            reply = std::move(in.frame);
            return {};
        }
        const auto ack = proto::parse_ack(in.frame);
        if (!ack) {
            continue;
        }
        if (ack->status == Status::busy) {
            deadline = now() + limits.answer_wait;
            continue;
        }
        if (ack->status == Status::crc_error) {
            ++damaged_run;
            if (auto o = lowered()) {
                if (!o->ok()) {
                    return *o;
                }
                continue;
            }
            if (sent >= limits.transmissions) {
                return Outcome::failure(describe_refusal(*ack, what) + " after " +
                                        transmissions_text(sent));
            }
            log_(LogLevel::warning, [&] {
                return "the target reports a damaged frame for " + w + ", transmission " +
                       num::dec(sent + 1) + " of " + num::dec(limits.transmissions);
            });
            if (!transmit()) {
                return Outcome::failure(line_failure());
            }
            continue;
        }
        damaged_run = 0;
        reply = std::move(in.frame);
        if (ack->status == Status::ok && reply_type == proto::Type::ack) {
            return {};
        }
        return Outcome::failure(describe_refusal(*ack, what));
    }
}

} // namespace trx::flash
