#include "link/frame.hpp"

#include "base/numtext.hpp"

namespace trx::link {

std::array<char, 2> checksum_digits(std::int32_t sum) {
    const auto s = static_cast<std::uint32_t>(sum) & 0xFFU;
    return {num::hex_char(s >> 4U), num::hex_char(s)};
}

std::int32_t frame_sum(char letter, std::string_view payload) {
    std::int32_t sum = static_cast<unsigned char>(letter);
    for (char c : payload) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

std::string build_frame(char letter, std::string_view payload) {
    const auto cs = checksum_digits(frame_sum(letter, payload));
    std::string f;
    f.reserve(payload.size() + 5);
    f += k_stx;
    f += letter;
    f += payload;
    f += cs[0];
    f += cs[1];
    f += k_etx;
    return f;
}

std::uint32_t read_hex(std::string_view field) {
    std::uint32_t v = 0;
    for (char c : field) {
        const int d = num::hex_digit(c);
        if (d < 0) {
            break;
        }
        v = (v << 4U) | static_cast<std::uint32_t>(d);
    }
    return v;
}

} // namespace trx::link
