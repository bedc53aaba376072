#include "link/para_frame.hpp"

#include "link/frame.hpp"
#include "ui/numtext.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace trx::link {

namespace {

struct FieldPos {
    std::size_t pos;
    std::size_t len;
};

// Positions of the short-set fields, in the order of ShortField.
constexpr std::array<FieldPos, static_cast<std::size_t>(ShortField::count)> k_short_fields{
    {{1, 8}, {9, 4}, {13, 4}, {17, 4}, {21, 4}}};

// Whether a field lies wholly in the payload, before the two checksum digits.
bool inside(std::string_view body, FieldPos f) {
    return body.size() >= 2 && f.pos + f.len <= body.size() - 2;
}

std::uint16_t hex4(std::string_view body, std::size_t pos) {
    return static_cast<std::uint16_t>(read_hex(body.substr(pos, 4)));
}

std::uint8_t hex2(std::string_view body, std::size_t pos) {
    return static_cast<std::uint8_t>(read_hex(body.substr(pos, 2)));
}

std::uint32_t serial_number(std::string_view body) {
    std::string digits(body.substr(1, 8));
    std::replace(digits.begin(), digits.end(), ' ', '0');
    return read_hex(digits);
}

void decode_extended(std::string_view body, ParaSet& s) {
    s.gap_offset_abs = hex4(body, 25);
    s.equal_tolerance_abs = hex4(body, 29);
    s.min_modul_angle = hex4(body, 33);
    s.max_modul_angle = hex4(body, 37);
    s.can_baud_code = hex2(body, 41);
    s.rs232_baud_code = hex2(body, 43);
    s.equal_tolerance_rel = hex4(body, 45);
    s.gap_offset_rel = hex4(body, 49);
    s.gap_correction = hex4(body, 53);
    s.can_identifier = hex4(body, 57);
}

std::string field4(std::uint32_t v) {
    return num::hex_upper(v & 0xFFFFU, 4);
}

} // namespace

ParaReply decode_para_reply(std::string_view body) {
    ParaReply r;
    if (body.size() == k_short_para_body) {
        r.type = ScannerType::za;
    } else if (body.size() == k_long_para_body) {
        r.type = ScannerType::ya;
    }
    // The fields lie in ascending positions, so those inside the body are a leading run.
    while (r.short_fields < static_cast<int>(k_short_fields.size()) &&
           inside(body, k_short_fields[static_cast<std::size_t>(r.short_fields)])) {
        ++r.short_fields;
    }
    auto& s = r.set;
    if (r.has(ShortField::serial_number)) {
        s.serial_number = serial_number(body);
    }
    if (r.has(ShortField::version)) {
        s.version = hex4(body, 9);
    }
    if (r.has(ShortField::speed)) {
        s.speed = hex4(body, 13);
    }
    if (r.has(ShortField::resolution)) {
        s.resolution = hex4(body, 17);
    }
    if (r.has(ShortField::switches)) {
        s.switches = hex4(body, 21);
    }
    if (r.type == ScannerType::ya) {
        decode_extended(body, r.set);
    }
    return r;
}

std::vector<std::string> para_fields(const ParaSet& s, bool extended) {
    std::vector<std::string> f{field4(s.serial_number >> 16U),
                               field4(s.serial_number & 0xFFFFU),
                               field4(s.version),
                               field4(s.speed),
                               field4(s.resolution),
                               field4(s.switches)};
    if (!extended) {
        return f;
    }
    for (std::uint16_t v :
         {s.gap_offset_abs, s.equal_tolerance_abs, s.min_modul_angle, s.max_modul_angle}) {
        f.push_back(field4(v));
    }
    f.push_back(num::hex_upper(s.can_baud_code, 2) + num::hex_upper(s.rs232_baud_code, 2));
    for (std::uint16_t v :
         {s.equal_tolerance_rel, s.gap_offset_rel, s.gap_correction, s.can_identifier}) {
        f.push_back(field4(v));
    }
    f.insert(f.end(), 5, "0000");
    return f;
}

std::optional<std::uint16_t> decode_index_reply(std::string_view body) {
    if (!inside(body, {1, 4})) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(as_uint16(read_hex(body.substr(1, 4))));
}

} // namespace trx::link
