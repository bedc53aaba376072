#pragma once

#include "link/frame.hpp"
#include "ui/numtext.hpp"

#include <cstdint>
#include <string>
#include <vector>

// Status frames "S" as the scanner sends them, for tests, benchmarks and the simulator.
namespace trx::testkit {

struct StripeSpec {
    std::uint32_t start = 0;
    std::uint32_t width = 0;
    std::uint32_t code = 0; // sent only in "YA" records
};

struct StatusSpec {
    std::uint32_t resolution = 8192; // sent as resolution - 1; 0 sends the field "0000"
    int temperature = 20;            // degrees Celsius, sent as + 127
    std::uint32_t status_word = 1;
    bool ya = false; // 10-character records with a code
    std::vector<StripeSpec> stripes;
};

// The payload: resolution, temperature, status word, then one record per stripe.
inline std::string status_payload(const StatusSpec& s) {
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
inline std::string status_frame(const StatusSpec& s) {
    return link::build_frame('S', status_payload(s));
}

} // namespace trx::testkit
