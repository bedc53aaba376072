#pragma once

#include "flashlib/cobs.hpp"
#include "flashlib/log_sink.hpp"
#include "flashlib/protocol.hpp"
#include "flashlib/transport.hpp"

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace trx::flash {

// Result of a step: empty on success, else why it failed, in one sentence.
struct Outcome {
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
    static Outcome failure(std::string why) { return Outcome{std::move(why)}; }
};

// What came from the line by a deadline.
struct Incoming {
    enum class Kind { frame, timeout, failed };
    Kind kind = Kind::timeout;
    proto::Frame frame;
};

// Limits of one command that is sent alone and waited for.
struct RequestLimits {
    Transport::Duration answer_wait = proto::k_ack_timeout;
    int transmissions = 1 + proto::k_retries;
    Transport::Duration overall = proto::k_ack_timeout * (1 + proto::k_retries);
};

// The host's end of the line: frames out, well-formed frames in (damaged ones dropped), the
// sequence numbers, and the request/answer exchange of single commands.
class HostLink {
public:
    using Duration = Transport::Duration;

    explicit HostLink(Transport& transport, const LogSink& log = LogSink::none())
        : transport_(transport), log_(log) {}

    [[nodiscard]] Duration now() const { return transport_.now(); }
    [[nodiscard]] std::uint16_t next_seq() { return seq_++; }
    // `count` consecutive numbers; returns the first.
    [[nodiscard]] std::uint16_t take_seqs(std::size_t count);

    [[nodiscard]] bool send(const proto::Frame& f);
    [[nodiscard]] bool send_raw(std::string_view bytes);
    // The next well-formed frame, waiting until the absolute `deadline` at most.
    [[nodiscard]] Incoming receive(Duration deadline);
    void flush_input();
    [[nodiscard]] std::string line_failure() const { return transport_.failure(); }
    // Damaged pieces from the target so far.
    [[nodiscard]] std::uint64_t damaged_frames() const { return damaged_; }

    // Lowers the line's rate after a run of damaged exchanges (docs/flash-protocol.md, "Rate
    // negotiation"); nullopt when there is nothing to lower.
    using LowerRate = std::function<std::optional<Outcome>()>;
    void on_damaged_run(LowerRate lower) { lower_ = std::move(lower); }
    [[nodiscard]] std::optional<Outcome> lower_rate() const {
        return lower_ ? lower_() : std::nullopt;
    }
    // Every frame out and in at debug level, retries and line faults as warnings.
    [[nodiscard]] const LogSink& log() const { return log_; }

    // Sends `request` and waits for its answer of type `reply_type` (an ACK with OK when
    // `reply_type` is ACK), retransmitting after a timeout or a CRC_ERROR, and waiting on
    // while the target answers BUSY. `what` names the command in messages ("ERASE of ...").
    Outcome request(const proto::Frame& request, proto::Type reply_type,
                    const RequestLimits& limits, std::string_view what, proto::Frame& reply);

private:
    void take(DelimitedReader::Event event);

    Transport& transport_;
    const LogSink& log_;
    DelimitedReader reader_{proto::k_max_encoded};
    std::deque<proto::Frame> ready_;
    std::string rx_;
    std::uint16_t seq_ = 1;
    std::uint64_t damaged_ = 0;
    LowerRate lower_;
};

// The sentence for a refusal from the target.
std::string describe_refusal(const proto::Ack& a, std::string_view what);

} // namespace trx::flash
