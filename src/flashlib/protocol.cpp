#include "flashlib/protocol.hpp"

#include "flashlib/checksums.hpp"
#include "flashlib/cobs.hpp"

#include <algorithm>

namespace trx::flash::proto {

std::string_view type_name(Type t) {
    switch (t) {
    case Type::hello:
        return "HELLO";
    case Type::clock:
        return "CLOCK";
    case Type::erase:
        return "ERASE";
    case Type::data:
        return "DATA";
    case Type::crc:
        return "CRC";
    case Type::go:
        return "GO";
    case Type::zdata:
        return "ZDATA";
    case Type::zrun:
        return "ZRUN";
    case Type::rate:
        return "RATE";
    case Type::probe:
        return "PROBE";
    case Type::ack:
        return "ACK";
    case Type::hello_reply:
        return "HELLO_REPLY";
    case Type::clock_reply:
        return "CLOCK_REPLY";
    case Type::crc_reply:
        return "CRC_REPLY";
    case Type::rate_reply:
        return "RATE_REPLY";
    case Type::probe_reply:
        return "PROBE_REPLY";
    case Type::read:
        return "READ";
    case Type::read_reply:
        return "READ_REPLY";
    }
    return "unknown";
}

std::string_view status_name(Status s) {
    switch (s) {
    case Status::ok:
        return "OK";
    case Status::crc_error:
        return "CRC_ERROR";
    case Status::bad_address:
        return "BAD_ADDRESS";
    case Status::verify_failed:
        return "VERIFY_FAILED";
    case Status::busy:
        return "BUSY";
    case Status::bad_request:
        return "BAD_REQUEST";
    case Status::no_session:
        return "NO_SESSION";
    }
    return "unknown";
}

std::string encode(const Frame& f) {
    Writer w;
    w.u8(static_cast<std::uint8_t>(f.type))
        .u16(f.seq)
        .u16(static_cast<std::uint16_t>(f.payload.size()))
        .bytes(f.payload);
    std::vector<std::uint8_t> body = w.take();
    const std::uint16_t crc = crc16(body);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFFU));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    std::string out = cobs_encode(body);
    out.push_back('\0');
    return out;
}

std::optional<Frame> decode(std::span<const std::uint8_t> encoded) {
    auto body = cobs_decode(encoded);
    if (!body || body->size() < k_header + 2) {
        return std::nullopt;
    }
    const std::size_t n = body->size() - k_header - 2;
    Reader r(*body);
    Frame f;
    f.type = static_cast<Type>(r.u8());
    f.seq = r.u16();
    const std::uint16_t length = r.u16();
    if (length != n || n > k_max_payload) {
        return std::nullopt;
    }
    const auto payload = r.bytes(n);
    const std::uint16_t crc = r.u16();
    if (crc != crc16(std::span(*body).first(k_header + n))) {
        return std::nullopt;
    }
    f.payload.assign(payload.begin(), payload.end());
    return f;
}

Writer& Writer::u8(std::uint8_t v) {
    out_.push_back(v);
    return *this;
}

Writer& Writer::u16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v & 0xFFU));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

Writer& Writer::u32(std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out_.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFFU));
    }
    return *this;
}

Writer& Writer::bytes(std::span<const std::uint8_t> b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
}

std::span<const std::uint8_t> Reader::bytes(std::size_t n) {
    if (!ok_ || in_.size() - pos_ < n) {
        ok_ = false;
        return {};
    }
    auto out = in_.subspan(pos_, n);
    pos_ += n;
    return out;
}

std::uint8_t Reader::u8() {
    auto b = bytes(1);
    return b.empty() ? 0 : b[0];
}

std::uint16_t Reader::u16() {
    auto b = bytes(2);
    return b.empty() ? 0 : static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t Reader::u32() {
    auto b = bytes(4);
    if (b.empty()) {
        return 0;
    }
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
}

Frame make_ack(std::uint16_t seq, Ack a) {
    return Frame{Type::ack, seq,
                 Writer().u8(static_cast<std::uint8_t>(a.status)).u32(a.info).take()};
}

std::optional<Ack> parse_ack(const Frame& f) {
    if (f.type != Type::ack) {
        return std::nullopt;
    }
    Reader r(f.payload);
    Ack a;
    const std::uint8_t status = r.u8();
    a.info = r.u32();
    if (!r.ok() || !r.at_end() || status > static_cast<std::uint8_t>(Status::no_session)) {
        return std::nullopt;
    }
    a.status = static_cast<Status>(status);
    return a;
}

namespace {

void write_rates(Writer& w, const std::vector<std::uint32_t>& rates) {
    if (rates.empty()) {
        return;
    }
    w.u8(static_cast<std::uint8_t>(std::min(rates.size(), k_max_rates)));
    for (std::size_t i = 0; i < rates.size() && i < k_max_rates; ++i) {
        w.u32(rates[i]);
    }
}

// The rates after the extension, when the target gives them; more than k_max_rates is a
// malformed reply.
std::vector<std::uint32_t> read_rates(Reader& r) {
    std::vector<std::uint32_t> rates;
    if (!r.ok() || r.at_end()) {
        return rates;
    }
    const std::uint8_t count = r.u8();
    if (count > k_max_rates) {
        (void)r.bytes(std::size_t{0xFFFF}); // leaves the reader failed
        return rates;
    }
    for (std::uint8_t i = 0; i < count && r.ok(); ++i) {
        rates.push_back(r.u32());
    }
    return rates;
}

} // namespace

std::vector<std::uint8_t> hello_reply_payload(const TargetInfo& info) {
    Writer w;
    const std::string name = info.name.substr(0, k_name_max);
    w.u8(info.version).u8(info.window).u16(info.max_block).u32(info.clock_hz);
    w.u8(static_cast<std::uint8_t>(name.size()));
    w.bytes({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()});
    w.u8(static_cast<std::uint8_t>(info.layout.sectors.size()));
    for (const Sector& s : info.layout.sectors) {
        w.u32(s.start).u32(s.size);
    }
    if (info.extended) {
        w.u8(info.capabilities).u16(info.inflate_buffer).u32(info.reset_vector);
        write_rates(w, info.rates);
    }
    return w.take();
}

std::optional<TargetInfo> parse_hello_reply(const Frame& f) {
    if (f.type != Type::hello_reply) {
        return std::nullopt;
    }
    Reader r(f.payload);
    TargetInfo info;
    info.version = r.u8();
    info.window = r.u8();
    info.max_block = r.u16();
    info.clock_hz = r.u32();
    const auto name = r.bytes(r.u8());
    info.name.assign(name.begin(), name.end());
    const std::uint8_t count = r.u8();
    for (std::uint8_t i = 0; i < count && r.ok(); ++i) {
        Sector s;
        s.start = r.u32();
        s.size = r.u32();
        info.layout.sectors.push_back(s);
    }
    info.extended = r.ok() && !r.at_end();
    if (info.extended) {
        info.capabilities = r.u8();
        info.inflate_buffer = r.u16();
        info.reset_vector = r.u32();
        info.rates = read_rates(r);
    } else if (!info.layout.sectors.empty()) {
        info.reset_vector = info.layout.sectors.front().start;
    }
    if (!r.ok() || !r.at_end() || info.name.size() > k_name_max) {
        return std::nullopt;
    }
    return info;
}

std::size_t TargetInfo::run_capacity() const {
    if ((capabilities & k_can_inflate) == 0) {
        return 0;
    }
    const std::size_t bytes = std::min<std::size_t>(inflate_buffer, k_max_inflate);
    return bytes - bytes % k_block;
}

std::vector<std::uint8_t> zdata_payload(std::uint32_t run_address, std::size_t offset,
                                        std::size_t count, std::span<const std::uint8_t> deflate) {
    return Writer()
        .u32(run_address)
        .u16(static_cast<std::uint16_t>(offset))
        .u16(static_cast<std::uint16_t>(count))
        .bytes(deflate)
        .take();
}

std::optional<ZData> parse_zdata(const Frame& f) {
    if (f.type != Type::zdata) {
        return std::nullopt;
    }
    Reader r(f.payload);
    ZData z;
    z.run_address = r.u32();
    z.offset = r.u16();
    z.count = r.u16();
    if (!r.ok() || f.payload.size() == k_zdata_header || z.count == 0) {
        return std::nullopt;
    }
    z.deflate = std::span(f.payload).subspan(k_zdata_header);
    return z;
}

std::vector<std::uint8_t> zrun_payload(std::uint32_t run_address, std::size_t run_length,
                                       std::size_t offset, std::span<const std::uint8_t> stream) {
    return Writer()
        .u32(run_address)
        .u16(static_cast<std::uint16_t>(run_length))
        .u16(static_cast<std::uint16_t>(offset))
        .bytes(stream)
        .take();
}

std::optional<ZRun> parse_zrun(const Frame& f) {
    if (f.type != Type::zrun) {
        return std::nullopt;
    }
    Reader r(f.payload);
    ZRun z;
    z.run_address = r.u32();
    z.run_length = r.u16();
    z.offset = r.u16();
    if (!r.ok() || f.payload.size() == k_zrun_header || z.run_length == 0) {
        return std::nullopt;
    }
    z.stream = std::span(f.payload).subspan(k_zrun_header);
    return z;
}

std::optional<ReadReply> parse_read_reply(const Frame& f) {
    if (f.type != Type::read_reply) {
        return std::nullopt;
    }
    Reader r(f.payload);
    ReadReply reply;
    reply.address = r.u32();
    const std::uint16_t length = r.u16();
    reply.bytes = r.bytes(length);
    if (!r.ok() || !r.at_end()) {
        return std::nullopt;
    }
    return reply;
}

} // namespace trx::flash::proto
