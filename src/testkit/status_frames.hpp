#pragma once

#include "base/numtext.hpp"
#include "link/frame.hpp"
#include "link/para_frame.hpp"

#include <cstdint>
#include <string>
#include <vector>

// Status frames "S" as the scanner sends them, for tests, benchmarks and the simulator.
namespace trx::testkit {

struct StripeShape {
    std::uint32_t start = 0;
    std::uint32_t width = 0;
    std::uint32_t code = 0; // sent only in "YA" records
};

struct StatusShape {
    std::uint32_t resolution = 8192; // sent as resolution - 1; 0 sends the field "0000"
    int temperature = 20;            // degrees Celsius, sent as + 127
    std::uint32_t status_word = 1;
    bool ya = false; // 10-character records with a code
    std::vector<StripeShape> stripes;
};

// The payload: resolution, temperature, status word, then one record per stripe.
inline std::string status_payload(const StatusShape& s) {
    std::string p = num::hex_upper(s.resolution == 0 ? 0 : s.resolution - 1, 4);
    p += num::hex_upper(static_cast<std::uint32_t>(s.temperature + 127) & 0xFFU, 2);
    p += num::hex_upper(s.status_word & 0xFFFFU, 4);
    for (const auto& r : s.stripes) {
        p += num::hex_upper(r.start & 0xFFFFU, 4);
        p += num::hex_upper(r.width & 0xFFFFU, 4);
        if (s.ya) {
            p += num::hex_upper(r.code & 0xFFU, 2);
        }
    }
    return p;
}

// The whole frame on the wire: STX, "S", payload, checksum digits, ETX.
inline std::string status_frame(const StatusShape& s) {
    return link::build_frame('S', status_payload(s));
}

// A parameter reply "W" of the short ("ZA") or extended ("YA") set, every field in range
// unless the caller puts one out of it: after it, status frames are decoded.
inline std::string parameter_reply(bool ya, std::uint16_t max_modul = 100,
                                   std::uint16_t speed = 125) {
    link::ParaSet set;
    set.serial_number = 0x12AB34;
    set.version = 109;
    set.speed = speed;
    set.switches = 3;
    set.gap_offset_abs = 5;
    set.equal_tolerance_abs = 6;
    set.min_modul_angle = 7;
    set.max_modul_angle = max_modul;
    set.can_baud_code = 3;
    set.rs232_baud_code = 5;
    set.equal_tolerance_rel = 8;
    set.gap_offset_rel = 9;
    set.gap_correction = 100;
    set.can_identifier = 0x7FF;
    std::string payload;
    for (const auto& field : link::para_fields(set, ya)) {
        payload += field;
    }
    return link::build_frame('W', payload);
}

} // namespace trx::testkit
