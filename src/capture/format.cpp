#include "capture/format.hpp"

#include "base/crc32.hpp"

#include <array>

namespace trx::capture {

namespace {

std::array<char, k_record_head> record_head(Kind kind, std::uint64_t time_us, std::size_t size) {
    std::array<char, k_record_head> head{};
    write_record_head(head.data(), kind, time_us, size);
    return head;
}

// The head is put together on the stack and checksummed with the data in place: this runs for
// every record a recording writes.
void encode_one(Kind kind, std::uint64_t time_us, std::string_view data, std::string& out) {
    const auto head = record_head(kind, time_us, data.size());
    const std::uint32_t crc = crc32(data, crc32(head));
    std::array<char, k_record_tail> tail{};
    for (std::size_t i = 0; i < 4; ++i) {
        tail[i] = static_cast<char>((crc >> (8 * i)) & 0xFFU);
    }
    out.append(head.data(), head.size());
    out.append(data);
    out.append(tail.data(), tail.size());
}

} // namespace

bool known_kind(std::uint8_t k) {
    switch (static_cast<Kind>(k)) {
    case Kind::header:
    case Kind::received:
    case Kind::sent:
    case Kind::opened:
    case Kind::closed:
    case Kind::reply:
    case Kind::lost:
    case Kind::write_refused:
        return true;
    }
    return false;
}

std::uint32_t crc32(std::span<const char> bytes, std::uint32_t crc) {
    return crc32_update(crc, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

void encode(Kind kind, std::uint64_t time_us, std::string_view data, std::string& out) {
    do {
        const std::string_view part = data.substr(0, k_max_data);
        encode_one(kind, time_us, part, out);
        data.remove_prefix(part.size());
    } while (!data.empty());
}

void append_raw(Kind kind, std::uint64_t time_us, std::string_view data, std::string& out) {
    const auto head = record_head(kind, time_us, data.size());
    out.append(head.data(), head.size());
    out.append(data);
}

bool next_raw(std::string_view raw, std::size_t& pos, Kind& kind, std::uint64_t& time_us,
              std::string_view& data) {
    if (pos + k_record_head > raw.size()) {
        return false;
    }
    const char* p = raw.data() + pos;
    kind = static_cast<Kind>(p[0]);
    time_us = 0;
    for (int i = 7; i >= 0; --i) {
        time_us = (time_us << 8) | static_cast<std::uint8_t>(p[1 + i]);
    }
    std::size_t n = 0;
    for (int i = 3; i >= 0; --i) {
        n = (n << 8) | static_cast<std::uint8_t>(p[9 + i]);
    }
    data = raw.substr(pos + k_record_head, n);
    pos += k_record_head + n;
    return true;
}

std::string header_data(const Header& h) {
    return h.program_version + '\n' + h.port_name;
}

std::string file_start(const Header& h) {
    std::string out(k_magic);
    encode(Kind::header, 0, header_data(h), out);
    return out;
}

} // namespace trx::capture
