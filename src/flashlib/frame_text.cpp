#include "flashlib/frame_text.hpp"

#include "base/numtext.hpp"

namespace trx::flash {

using proto::Reader;
using proto::Type;

std::string hex6(std::uint32_t v) {
    return "0x" + num::hex_upper(v, 6);
}

std::string hex8(std::uint32_t v) {
    return "0x" + num::hex_upper(v, 8);
}

namespace {

std::string bytes_text(std::int64_t n) {
    return num::dec(n) + (n == 1 ? " byte" : " bytes");
}

std::string ack_text(const proto::Ack& a) {
    using proto::Status;
    const std::string status(proto::status_name(a.status));
    switch (a.status) {
    case Status::ok:
    case Status::busy:
    case Status::no_session:
        return status;
    case Status::crc_error:
    case Status::bad_request:
        return status + ", expects seq " + num::dec(a.info);
    case Status::bad_address:
    case Status::verify_failed:
        return status + " at " + hex6(a.info);
    }
    return "status " + num::dec(static_cast<int>(a.status));
}

std::string hello_reply_text(const proto::TargetInfo& t) {
    std::string s = printable(t.name) + ", " + num::dec(t.clock_hz) + " Hz, " +
                    num::dec(static_cast<std::int64_t>(t.layout.sectors.size())) + " sectors";
    if (!t.extended) {
        return s + ", no extension";
    }
    s += (t.capabilities & proto::k_can_inflate) != 0
             ? ", inflates into " + bytes_text(t.inflate_buffer)
             : ", no inflate";
    if (t.streams_runs()) {
        s += ", a run as one stream";
    }
    return s + ", reset vector " + hex6(t.reset_vector);
}

// What a frame carries after its type and number; empty when it carries nothing, nullopt
// when the payload does not read as its type's.
std::optional<std::string> details(const proto::Frame& f) {
    Reader r(f.payload);
    std::string s;
    switch (f.type) {
    case Type::hello:
        s = "version " + num::dec(r.u8());
        break;
    case Type::clock:
    case Type::go:
        break;
    case Type::erase:
        s = "sector at " + hex6(r.u32());
        break;
    case Type::data:
        if (f.payload.size() < 4) {
            return std::nullopt;
        }
        return hex6(r.u32()) + ", " + bytes_text(static_cast<std::int64_t>(f.payload.size()) - 4);
    case Type::zdata: {
        const auto z = proto::parse_zdata(f);
        if (!z) {
            return std::nullopt;
        }
        return "run " + hex6(z->run_address) + ", offset " + num::dec(z->offset) + ", " +
               bytes_text(z->count) + " from " +
               num::dec(static_cast<std::int64_t>(z->deflate.size())) + " compressed";
    }
    case Type::zrun: {
        const auto z = proto::parse_zrun(f);
        if (!z) {
            return std::nullopt;
        }
        return "run " + hex6(z->run_address) + " of " + bytes_text(z->run_length) +
               ", stream offset " + num::dec(z->offset) + ", " +
               num::dec(static_cast<std::int64_t>(z->stream.size())) + " compressed";
    }
    case Type::crc: {
        const std::uint32_t address = r.u32();
        s = hex6(address) + ", " + bytes_text(r.u32());
        break;
    }
    case Type::ack: {
        const auto a = proto::parse_ack(f);
        return a ? std::optional(ack_text(*a)) : std::nullopt;
    }
    case Type::hello_reply: {
        const auto t = proto::parse_hello_reply(f);
        return t ? std::optional(hello_reply_text(*t)) : std::nullopt;
    }
    case Type::clock_reply:
        s = num::dec(r.u32()) + " Hz";
        break;
    case Type::rate:
    case Type::rate_reply:
        s = num::dec(r.u32()) + " baud";
        break;
    case Type::read: {
        const std::uint32_t address = r.u32();
        s = hex6(address) + ", " + bytes_text(r.u16());
        break;
    }
    case Type::read_reply: {
        const auto reply = proto::parse_read_reply(f);
        if (!reply) {
            return std::nullopt;
        }
        return hex6(reply->address) + ", " +
               bytes_text(static_cast<std::int64_t>(reply->bytes.size()));
    }
    case Type::crc_reply: {
        const std::uint32_t address = r.u32();
        const std::uint32_t length = r.u32();
        s = hex6(address) + ", " + bytes_text(length) + ", CRC 0x" + num::hex_upper(r.u32(), 8);
        break;
    }
    default:
        return bytes_text(static_cast<std::int64_t>(f.payload.size()));
    }
    if (!r.ok() || !r.at_end()) {
        return std::nullopt;
    }
    return s;
}

std::string type_text(Type t) {
    const std::string_view name = proto::type_name(t);
    return name != "unknown" ? std::string(name)
                             : "type 0x" + num::hex_upper(static_cast<std::uint8_t>(t), 2);
}

} // namespace

std::string printable(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c >= ' ' && c <= '~' ? c : '?';
    }
    return out;
}

std::string describe_frame(const proto::Frame& f) {
    std::string s = type_text(f.type) + " seq " + num::dec(f.seq);
    const auto d = details(f);
    if (!d) {
        return s + ", malformed (" + bytes_text(static_cast<std::int64_t>(f.payload.size())) + ")";
    }
    return d->empty() ? s : s + ", " + *d;
}

} // namespace trx::flash
