#pragma once

// A YA scanner's whole parameter set with a value in every field, for tests that need one.
#include "link/para_set.hpp"

#include <cstdint>

namespace trx::test {

inline link::ParaSet sample_para_set(std::uint32_t serial = 1223476) {
    link::ParaSet s;
    s.serial_number = serial;
    s.version = 109;
    s.speed = 125;
    s.resolution = 2;
    s.switches = 3;
    s.gap_offset_abs = 5;
    s.equal_tolerance_abs = 6;
    s.min_modul_angle = 7;
    s.max_modul_angle = 291;
    s.can_baud_code = 3;
    s.rs232_baud_code = 5;
    s.equal_tolerance_rel = 8;
    s.gap_offset_rel = 9;
    s.gap_correction = 100;
    s.can_identifier = 0x7FF;
    return s;
}

} // namespace trx::test
