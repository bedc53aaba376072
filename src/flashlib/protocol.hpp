#pragma once

#include "flashlib/flash_layout.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The flash protocol between the flash library and the controller's bootstrap loader and
// flash monitor, shared by both sides. docs/flash-protocol.md describes it.
namespace trx::flash::proto {

using namespace std::chrono_literals;

enum class Type : std::uint8_t {
    hello = 0x01,
    clock = 0x02,
    erase = 0x03,
    data = 0x04,
    crc = 0x05,
    go = 0x06,
    zdata = 0x07,
    read = 0x08,  // u32 address, u16 length (1 ... 256)
    zrun = 0x09,  // a piece of a run compressed as one stream
    rate = 0x10,  // outside the sequence: switch the line's rate
    probe = 0x11, // outside the sequence: echo, to prove a rate
    ack = 0x80,
    hello_reply = 0x81,
    clock_reply = 0x82,
    crc_reply = 0x85,
    read_reply = 0x88, // u32 address, u16 length, the bytes
    rate_reply = 0x90,
    probe_reply = 0x91,
};

enum class Status : std::uint8_t {
    ok = 0,
    crc_error = 1,
    bad_address = 2,
    verify_failed = 3,
    busy = 4,
    bad_request = 5,
    no_session = 6,
};

std::string_view type_name(Type t);
std::string_view status_name(Status s);

constexpr std::uint8_t k_version = 1;
constexpr std::size_t k_block = 256; // largest DATA block, and its alignment
constexpr std::size_t k_window = 2;  // DATA frames the host may have unacknowledged
constexpr std::size_t k_max_payload = 280;
constexpr std::size_t k_header = 5;        // type, sequence number, length
constexpr std::size_t k_max_encoded = 300; // a receiver drops longer pieces
constexpr std::size_t k_name_max = 32;
// ZDATA: u32 run address, u16 offset in the run, u16 bytes this piece adds, then DEFLATE.
constexpr std::size_t k_zdata_header = 8;
constexpr std::size_t k_max_inflate = 8192; // the largest run a target may inflate
// ZRUN: u32 run address, u16 run length, u16 offset in the run's stream, then the stream's
// next bytes.
constexpr std::size_t k_zrun_header = 8;
constexpr std::uint32_t k_reset_vector_size = 4;

// Capability bits of HELLO_REPLY's extension.
constexpr std::uint8_t k_can_inflate = 0x01; // takes ZDATA
constexpr std::uint8_t k_can_stream = 0x02;  // takes ZRUN (with k_can_inflate)

// The line's rate outside a raised transfer, and the most rates HELLO_REPLY may offer.
constexpr std::uint32_t k_base_rate = 57600;
constexpr std::size_t k_max_rates = 8;

// Rate negotiation. Host: RATE answered within 200 ms (3 transmissions); the new rate proven
// by an echo within 200 ms (2 PROBEs); one notch down after 3 damaged exchanges in a row.
// Target: back at 57600 when no well-formed frame arrives within 300 ms of a switch, or for
// 2 s at a raised rate while it has no work.
constexpr auto k_rate_answer_wait = 200ms;
constexpr int k_rate_transmissions = 3;
constexpr auto k_probe_wait = 100ms;
constexpr int k_probe_transmissions = 2;
constexpr int k_step_down_after = 3;
constexpr auto k_target_prove_wait = 300ms;
constexpr auto k_raised_silence = 2s;

// Target timing.
constexpr auto k_inter_byte_timeout = 50ms;
constexpr auto k_busy_interval = 100ms;
constexpr auto k_loader_silence = 30s;

// Host timing and retries.
constexpr int k_connect_attempts = 10;
constexpr auto k_connect_wait = 200ms;
constexpr auto k_ack_timeout = 500ms;
constexpr int k_retries = 3;
constexpr auto k_erase_limit = 30s;
constexpr auto k_data_limit = 10s; // one DATA or ZDATA frame, BUSY answers included
constexpr auto k_crc_limit = 10s;
constexpr auto k_go_wait = 200ms;

struct Frame {
    Type type = Type::ack;
    std::uint16_t seq = 0;
    std::vector<std::uint8_t> payload;
};

// Body with CRC, COBS-encoded, with its 0x00 delimiter: ready for the line.
std::string encode(const Frame& f);
// A frame from one delimited piece; nullopt when it is damaged.
std::optional<Frame> decode(std::span<const std::uint8_t> encoded);

// Little-endian fields.
class Writer {
public:
    Writer& u8(std::uint8_t v);
    Writer& u16(std::uint16_t v);
    Writer& u32(std::uint32_t v);
    Writer& bytes(std::span<const std::uint8_t> b);
    [[nodiscard]] std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    std::vector<std::uint8_t> out_;
};

// Reads fields in order; any read past the end leaves ok() false and yields 0.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::span<const std::uint8_t> bytes(std::size_t n);
    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] bool at_end() const { return pos_ == in_.size(); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct Ack {
    Status status = Status::ok;
    std::uint32_t info = 0;
};
Frame make_ack(std::uint16_t seq, Ack a);
std::optional<Ack> parse_ack(const Frame& f);

// What HELLO_REPLY tells about the target. A flash monitor that predates the extension
// (capabilities, inflate buffer, reset vector) sends none: it takes raw DATA only, and its
// reset vector is the first address of its flash.
struct TargetInfo {
    std::uint8_t version = k_version;
    std::uint8_t window = k_window;
    std::uint16_t max_block = k_block;
    std::uint32_t clock_hz = 0;
    std::string name;
    FlashLayout layout;
    bool extended = true;
    std::uint8_t capabilities = 0;
    std::uint16_t inflate_buffer = 0; // bytes of RAM for a ZDATA run
    std::uint32_t reset_vector = 0;
    // Rates the target can switch to besides 57600 (none from a target without the field).
    std::vector<std::uint32_t> rates;
    // The run length the host may use: 0 when the target takes no ZDATA.
    [[nodiscard]] std::size_t run_capacity() const;
    // Whether a run may travel as one stream in ZRUN pieces.
    [[nodiscard]] bool streams_runs() const {
        return run_capacity() > 0 && (capabilities & k_can_stream) != 0;
    }
};
std::vector<std::uint8_t> hello_reply_payload(const TargetInfo& info);
std::optional<TargetInfo> parse_hello_reply(const Frame& f);

// One ZDATA frame's payload, read.
struct ZData {
    std::uint32_t run_address = 0;
    std::uint16_t offset = 0;
    std::uint16_t count = 0;
    std::span<const std::uint8_t> deflate;
};
std::vector<std::uint8_t> zdata_payload(std::uint32_t run_address, std::size_t offset,
                                        std::size_t count, std::span<const std::uint8_t> deflate);
std::optional<ZData> parse_zdata(const Frame& f);

// One ZRUN frame's payload, read.
struct ZRun {
    std::uint32_t run_address = 0;
    std::uint16_t run_length = 0; // bytes the whole stream inflates to
    std::uint16_t offset = 0;     // of this piece in the stream
    std::span<const std::uint8_t> stream;
};
std::vector<std::uint8_t> zrun_payload(std::uint32_t run_address, std::size_t run_length,
                                       std::size_t offset, std::span<const std::uint8_t> stream);
std::optional<ZRun> parse_zrun(const Frame& f);

// READ's answer, read; nullopt when its payload does not read as one.
struct ReadReply {
    std::uint32_t address = 0;
    std::span<const std::uint8_t> bytes;
};
std::optional<ReadReply> parse_read_reply(const Frame& f);
constexpr std::size_t k_read_max = k_block; // bytes one READ asks for at most

// Signed distance from `from` to `to` on the 16-bit sequence circle.
inline int seq_distance(std::uint16_t from, std::uint16_t to) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(to - from));
}

} // namespace trx::flash::proto
