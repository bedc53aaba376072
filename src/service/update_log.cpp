#include "service/update_log.hpp"

#include "base/numtext.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace trx::service::update_log {

namespace {
// Doubles below this are whole numbers exactly representable in an int64.
constexpr double k_whole_limit = 1e15;
constexpr std::string_view k_unknown_hz = "????????";
} // namespace

std::string number(std::int64_t v) {
    const std::string digits = num::dec(v);
    return v < 0 ? digits : " " + digits;
}

std::string frequency(double hz) {
    if (!std::isfinite(hz)) {
        return std::string(k_unknown_hz);
    }
    if (hz == std::trunc(hz) && std::fabs(hz) < k_whole_limit) {
        return number(static_cast<std::int64_t>(hz));
    }
    // to_chars never looks at the locale: the decimal point stays a point.
    std::array<char, 64> buf{};
    const auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), hz, std::chars_format::general, 15);
    const std::string text(buf.data(), res.ptr);
    return hz < 0 ? text : " " + text;
}

std::string name_shown(std::string_view buffer) {
    std::string out(k_name_shown, ' ');
    for (std::size_t i = 0; i < k_name_shown && i < buffer.size(); ++i) {
        const auto c = static_cast<unsigned char>(buffer[i]);
        if (c == 0) {
            break;
        }
        out[i] = c < 32 || c == 127 ? '?' : static_cast<char>(c);
    }
    return out;
}

std::string_view phase_name(FlashProgress::Phase phase) {
    switch (phase) {
    case FlashProgress::Phase::erase:
        return "Erasing";
    case FlashProgress::Phase::program:
        return "Programming";
    case FlashProgress::Phase::verify:
        return "Verifying";
    case FlashProgress::Phase::rate:
        break;
    case FlashProgress::Phase::read:
        return "Reading";
    }
    return {};
}

std::string ok(std::string_view step) {
    return std::string(step) + ":     Ok";
}
std::string error(std::string_view step) {
    return std::string(step) + ":     Error";
}

std::string open_com(std::string_view port_name, std::string_view baud_text) {
    return "OpenCom: " + std::string(port_name) + ", " + std::string(baud_text) + " Baud     Ok";
}

std::string target(std::string_view name, double hz) {
    return "Target: " + std::string(name) + "  @  " + frequency(hz) + " Hz";
}

std::string target_unknown(std::string_view name) {
    return "Target: " + std::string(name) + "  @  " + std::string(k_unknown_hz) + " Hz";
}

std::string load_file(std::int32_t size) {
    return "LoadFile: " + number(size) + " Byte";
}

std::string auto_roms1(std::int16_t flag) {
    return std::string("AutoROMS1: ") + (flag != 0 ? "True" : "False");
}

std::string hex_file_block(std::int32_t block) {
    return "GetHexFileBlock: " + number(block);
}

std::string transfer_rate(std::int64_t baud) {
    return "Transfer at " + std::to_string(baud) + " baud";
}

} // namespace trx::service::update_log
