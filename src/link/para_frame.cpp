#include "link/para_frame.hpp"

#include "base/numtext.hpp"
#include "link/frame.hpp"

#include <algorithm>

namespace trx::link {

namespace {

constexpr std::size_t k_extended_payload = k_long_para_body - 3;
constexpr std::size_t k_short_payload = k_short_para_body - 3;
constexpr std::size_t k_field_chars = 4;

// Whether characters pos .. pos + len - 1 lie wholly in the payload, before the two checksum
// digits.
bool inside(std::string_view body, std::size_t pos, std::size_t len) {
    return body.size() >= 2 && pos + len <= body.size() - 2;
}

std::uint32_t read_field(std::string_view body, const ParaFieldDef& f) {
    std::string digits(
        body.substr(static_cast<std::size_t>(f.pos), static_cast<std::size_t>(f.width)));
    if (f.display == ParaDisplay::serial) {
        std::replace(digits.begin(), digits.end(), ' ', '0');
    }
    return read_hex(digits);
}

// Short-set wire fields (the switches word holds two catalogue fields), in frame order.
int short_fields_inside(std::string_view body) {
    int n = 0;
    int last_pos = 0;
    for (const ParaFieldDef& f : k_para_catalogue) {
        if (f.extended || f.pos == last_pos) {
            continue;
        }
        if (!inside(body, static_cast<std::size_t>(f.pos), static_cast<std::size_t>(f.width))) {
            break;
        }
        last_pos = f.pos;
        ++n;
    }
    return n;
}

} // namespace

bool ParaReply::has(const ParaFieldDef& f) const {
    if (f.extended) {
        return type == ScannerType::ya;
    }
    int wire_field = 0;
    int last_pos = 0;
    for (const ParaFieldDef& g : k_para_catalogue) {
        if (g.pos != last_pos) {
            last_pos = g.pos;
            ++wire_field;
        }
        if (g.id == f.id) {
            return wire_field <= short_fields;
        }
    }
    return false;
}

ParaReply decode_para_reply(std::string_view body) {
    ParaReply r;
    if (body.size() == k_short_para_body) {
        r.type = ScannerType::za;
    } else if (body.size() == k_long_para_body) {
        r.type = ScannerType::ya;
    }
    r.short_fields = short_fields_inside(body);
    for (const ParaFieldDef& f : k_para_catalogue) {
        if (r.has(f)) {
            // A bit field reads its whole word; the next row of that word reads it again.
            r.set.*f.member = read_field(body, f);
        }
    }
    return r;
}

std::vector<std::string> para_fields(const ParaSet& set, bool extended) {
    // Reserved characters stay "0".
    std::string payload(extended ? k_extended_payload : k_short_payload, '0');
    for (const ParaFieldDef& f : k_para_catalogue) {
        if (f.extended && !extended) {
            continue;
        }
        const auto width = static_cast<std::size_t>(f.width);
        const std::uint64_t mask = (std::uint64_t{1} << (4 * width)) - 1;
        payload.replace(static_cast<std::size_t>(f.pos) - 1, width,
                        num::hex_upper(set.*f.member & mask, f.width));
    }
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < payload.size(); i += k_field_chars) {
        fields.push_back(payload.substr(i, k_field_chars));
    }
    return fields;
}

std::optional<std::uint16_t> decode_index_reply(std::string_view body) {
    if (!inside(body, 1, 4)) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(as_uint16(read_hex(body.substr(1, 4))));
}

} // namespace trx::link
