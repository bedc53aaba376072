#include "sim/param_set.hpp"

#include "base/numtext.hpp"
#include "sim/wire.hpp"

#include <array>

namespace trx::sim {

namespace {

constexpr std::array<std::int32_t, 6> k_resolutions = {8192, 16384, 24576, 32768, 40960, 65536};

struct Range {
    std::uint32_t low;
    std::uint32_t high;
};

constexpr Range k_speed{60, 180};
constexpr Range k_resolution{0, 5};
constexpr Range k_filter{0, 99};
constexpr Range k_max_modul{0, 999};
constexpr Range k_baud_code{0, 5};
constexpr Range k_gap_correction{10, 200};
constexpr Range k_can_identifier{0, 0x7FF};

bool within(std::uint32_t v, Range r) {
    return v >= r.low && v <= r.high;
}

bool all_hex(std::string_view s) {
    for (char c : s) {
        if (num::hex_digit(c) < 0) {
            return false;
        }
    }
    return true;
}

// Reads consecutive fixed-width hex fields of a payload.
class FieldReader {
public:
    explicit FieldReader(std::string_view payload) : payload_(payload) {}
    std::uint32_t next(std::size_t width) {
        const auto v = wire::hex(payload_.substr(pos_, width));
        pos_ += width;
        return v;
    }

private:
    std::string_view payload_;
    std::size_t pos_ = 0;
};

} // namespace

std::string_view type_name(ScannerType t) {
    return t == ScannerType::ya ? "YA" : "ZA";
}

std::optional<ScannerType> type_from_name(std::string_view name) {
    if (name == "YA") {
        return ScannerType::ya;
    }
    if (name == "ZA") {
        return ScannerType::za;
    }
    return std::nullopt;
}

std::size_t param_payload_length(ScannerType t) {
    return t == ScannerType::ya ? 80 : 24;
}

std::size_t max_records(ScannerType t) {
    return t == ScannerType::ya ? 48 : 60;
}

std::size_t record_length(ScannerType t) {
    return t == ScannerType::ya ? 10 : 8;
}

std::optional<std::int32_t> resolution_increments(std::uint16_t position) {
    if (position >= k_resolutions.size()) {
        return std::nullopt;
    }
    return k_resolutions[position];
}

bool in_range(const ParamSet& p, ScannerType t) {
    const bool basic = within(p.speed, k_speed) && within(p.resolution, k_resolution);
    if (t == ScannerType::za) {
        return basic;
    }
    return basic && within(p.gap_offset_abs, k_filter) && within(p.equal_tolerance_abs, k_filter) &&
           within(p.min_modul_angle, k_filter) && within(p.max_modul_angle, k_max_modul) &&
           within(p.can_baudrate, k_baud_code) && within(p.rs232_baudrate, k_baud_code) &&
           within(p.equal_tolerance_rel, k_filter) && within(p.gap_offset_rel, k_filter) &&
           within(p.gap_correction, k_gap_correction) && within(p.can_identifier, k_can_identifier);
}

std::string encode_params(const ParamSet& p, ScannerType t) {
    std::string s = num::hex_upper(p.serial, 8);
    s += num::hex_upper(p.version, 4);
    s += num::hex_upper(p.speed, 4);
    s += num::hex_upper(p.resolution, 4);
    s += num::hex_upper(p.switches, 4);
    if (t == ScannerType::za) {
        return s;
    }
    s += num::hex_upper(p.gap_offset_abs, 4);
    s += num::hex_upper(p.equal_tolerance_abs, 4);
    s += num::hex_upper(p.min_modul_angle, 4);
    s += num::hex_upper(p.max_modul_angle, 4);
    s += num::hex_upper(p.can_baudrate, 2);
    s += num::hex_upper(p.rs232_baudrate, 2);
    s += num::hex_upper(p.equal_tolerance_rel, 4);
    s += num::hex_upper(p.gap_offset_rel, 4);
    s += num::hex_upper(p.gap_correction, 4);
    s += num::hex_upper(p.can_identifier, 4);
    s += std::string(20, '0'); // five reserved fields
    return s;
}

std::optional<ParamSet> decode_params(std::string_view payload, ScannerType t,
                                      const ParamSet& current) {
    if (payload.size() != param_payload_length(t) || !all_hex(payload)) {
        return std::nullopt;
    }
    ParamSet p = current;
    FieldReader f(payload);
    p.serial = f.next(8);
    (void)f.next(4); // the version belongs to the firmware, whatever the host sends
    p.speed = static_cast<std::uint16_t>(f.next(4));
    p.resolution = static_cast<std::uint16_t>(f.next(4));
    p.switches = static_cast<std::uint16_t>(f.next(4));
    if (t == ScannerType::ya) {
        p.gap_offset_abs = static_cast<std::uint16_t>(f.next(4));
        p.equal_tolerance_abs = static_cast<std::uint16_t>(f.next(4));
        p.min_modul_angle = static_cast<std::uint16_t>(f.next(4));
        p.max_modul_angle = static_cast<std::uint16_t>(f.next(4));
        p.can_baudrate = static_cast<std::uint8_t>(f.next(2));
        p.rs232_baudrate = static_cast<std::uint8_t>(f.next(2));
        p.equal_tolerance_rel = static_cast<std::uint16_t>(f.next(4));
        p.gap_offset_rel = static_cast<std::uint16_t>(f.next(4));
        p.gap_correction = static_cast<std::uint16_t>(f.next(4));
        p.can_identifier = static_cast<std::uint16_t>(f.next(4));
    }
    if (!in_range(p, t)) {
        return std::nullopt;
    }
    return p;
}

} // namespace trx::sim
