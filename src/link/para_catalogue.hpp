#pragma once

#include "link/para_set.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The parameter set, described once: where each field lies in the "W" frame, what it may
// hold, and how the parameter window shows it. The window's form, its key filters and leave
// checks, the reply decoder, the store encoder, parameter files and the command-line tool
// all read this table.
namespace trx::link {

// How a field's wire value is shown.
enum class ParaDisplay : std::uint8_t {
    serial,  // decimal; blanks in the field read as "0"
    version, // hundredths with a decimal comma: 0x006D shows "1,09"
    tenths,  // tenths with a decimal comma: 0x007D shows "12,5"; the spinner counts tenths
    whole,   // decimal without leading zeros
    list,    // list position of a combo box
    code,    // list position + 1; 0 selects no entry
    bit,     // a check box: one bit of the switches word
    can_id,  // "0x" and three upper-case hex digits
};

// The fields in frame order; the catalogue's rows stand in the same order.
enum class ParaField : std::uint8_t {
    serial_number,
    version,
    speed,
    resolution,
    enable_heater,
    motor_enable,
    gap_offset_abs,
    equal_tolerance_abs,
    min_modul_angle,
    max_modul_angle,
    can_baudrate,
    rs232_baudrate,
    equal_tolerance_rel,
    gap_offset_rel,
    gap_correction,
    can_identifier,
};
inline constexpr std::size_t k_para_field_count = 16;

struct ParaFieldDef {
    ParaField id = {};
    std::string_view name = {}; // in parameter files and on the command line
    std::uint32_t ParaSet::*member = nullptr;
    int pos = 0;   // first character in the "W" body, the letter at 0
    int width = 0; // hex digits
    ParaDisplay display = ParaDisplay::whole;
    std::uint32_t min = 0; // the values a reply may carry without counting as wrong
    std::uint32_t max = 0;
    std::uint32_t bit = 0;  // ParaDisplay::bit: its bit of the word
    bool extended = false;  // only in the extended set ("YA")
    bool read_only = false; // the scanner's identity: a store sends back what it reported
    // The window.
    std::string_view control = {}; // the control that shows the value
    std::string_view spinner = {}; // its spinner; empty when none
    std::string_view label_control = {};
    std::string_view label = {}; // a check box's caption
    std::string_view unit_control = {};
    std::string_view unit = {};
    std::string_view tooltip = {};
    std::string_view message = {}; // leaving the box with a value it cannot take
    int digits = 0;                // characters the box takes from the keyboard
    int spinner_start = 0;
    std::string_view bad_text = {};               // the box's text for a reply value out of range
    std::span<const std::string_view> items = {}; // list texts, leading blanks included
    std::string_view initial_text = {};           // a combo box's text before the first reply
};

inline constexpr std::array<std::string_view, 5> k_can_baud_items{
    "          50", "        125", "        250", "        500", "      1000"};
inline constexpr std::array<std::string_view, 5> k_rs232_baud_items{
    "      9600", "    19200", "    38400", "    57600", "  115200"};
inline constexpr std::array<std::string_view, 6> k_resolution_items{
    "      8192", "    16384", "    24576", "    32768", "    40960", "    65536"};

namespace catalogue_rows {
using D = ParaDisplay;
using F = ParaField;

constexpr ParaFieldDef filter(F id, std::string_view name, std::uint32_t ParaSet::*member, int pos,
                              std::uint32_t min, std::uint32_t max, int digits, int spinner_start,
                              std::string_view bad_text, std::string_view control,
                              std::string_view spinner, std::string_view label_control,
                              std::string_view label, std::string_view tooltip,
                              std::string_view message) {
    return {.id = id,
            .name = name,
            .member = member,
            .pos = pos,
            .width = 4,
            .display = D::whole,
            .min = min,
            .max = max,
            .extended = true,
            .control = control,
            .spinner = spinner,
            .label_control = label_control,
            .label = label,
            .tooltip = tooltip,
            .message = message,
            .digits = digits,
            .spinner_start = spinner_start,
            .bad_text = bad_text};
}
} // namespace catalogue_rows

inline constexpr std::array<ParaFieldDef, k_para_field_count> k_para_catalogue{{
    {.id = ParaField::serial_number,
     .name = "serial_number",
     .member = &ParaSet::serial_number,
     .pos = 1,
     .width = 8,
     .display = ParaDisplay::serial,
     .max = 0xFFFFFFFFU,
     .read_only = true,
     .control = "seriennummer",
     .label_control = "Label1",
     .label = "Serial No.:",
     .tooltip = "Serial Number"},
    {.id = ParaField::version,
     .name = "version",
     .member = &ParaSet::version,
     .pos = 9,
     .width = 4,
     .display = ParaDisplay::version,
     .max = 0xFFFFU,
     .read_only = true,
     .control = "version",
     .label_control = "Label4",
     .label = "Version:",
     .tooltip = "Software Version"},
    {.id = ParaField::speed,
     .name = "speed",
     .member = &ParaSet::speed,
     .pos = 13,
     .width = 4,
     .display = ParaDisplay::tenths,
     .min = 60,
     .max = 180,
     .control = "speed_anz",
     .spinner = "speed",
     .label_control = "speed_text",
     .label = "Speed:",
     .unit_control = "speed_einheit",
     .unit = "[turns/sec]",
     .tooltip = "Possible Values: 6.0 - 18.0",
     .message = "Possible values for speed: 6.0 - 18.0 turns/sec",
     .digits = 4,
     .spinner_start = 100,
     .bad_text = "??.?"},
    {.id = ParaField::resolution,
     .name = "resolution",
     .member = &ParaSet::resolution,
     .pos = 17,
     .width = 4,
     .display = ParaDisplay::list,
     .max = 5,
     .control = "auflösung",
     .label_control = "auflösung_text",
     .label = "Resolution:",
     .unit_control = "auflösung_einheit",
     .unit = "[pulses/rev.]",
     .tooltip = "Possible Values: 8192, 16384, 24576, 32768, 40960 or 65536",
     .items = k_resolution_items,
     .initial_text = "      8192"},
    {.id = ParaField::enable_heater,
     .name = "enable_heater",
     .member = &ParaSet::switches,
     .pos = 21,
     .width = 4,
     .display = ParaDisplay::bit,
     .max = 1,
     .bit = 1,
     .control = "enable_heater",
     .label = "Enable Heater"},
    {.id = ParaField::motor_enable,
     .name = "motor_enable",
     .member = &ParaSet::switches,
     .pos = 21,
     .width = 4,
     .display = ParaDisplay::bit,
     .max = 1,
     .bit = 2,
     .control = "motor_enable",
     .label = "Control \"Motor Enable\" by software"},
    catalogue_rows::filter(
        ParaField::gap_offset_abs, "gap_offset_abs", &ParaSet::gap_offset_abs, 25, 0, 99, 2, 1, "?",
        "gap_offset_abs_anz", "gap_offset_abs", "gap_offset_abs_text",
        "Difference between stripe and gap (absolute) :", "Possible Values: 0 - 99",
        "Possible values for difference between stripe and gap (absolute) "
        ": 0 - 99"),
    catalogue_rows::filter(
        ParaField::equal_tolerance_abs, "equal_tolerance_abs", &ParaSet::equal_tolerance_abs, 29, 0,
        99, 2, 1, "?", "equal_tolerance_abs_anz", "equal_tolerance_abs", "equal_tolerance_abs_text",
        "Difference between 2 stripes (absolute) :", "Possible Values: 0 - 99",
        "Possible values for difference between 2 stripes (absolute): 0 - 99"),
    catalogue_rows::filter(ParaField::min_modul_angle, "min_modul_angle", &ParaSet::min_modul_angle,
                           33, 0, 99, 2, 1, "?", "min_modul_angle_anz", "min_modul_angle",
                           "min_modul_angle_text", "Min. modul width:", "Possible Values: 0 - 99",
                           "Possible values for min. modul width: 0 - 99"),
    catalogue_rows::filter(ParaField::max_modul_angle, "max_modul_angle", &ParaSet::max_modul_angle,
                           37, 0, 999, 3, 1, "?", "max_modul_angle_anz", "max_modul_angle",
                           "max_modul_angle_text", "Max. modul width:", "Possible Values: 0 - 999",
                           "Possible values for max. modul width: 0 - 999"),
    {.id = ParaField::can_baudrate,
     .name = "can_baudrate",
     .member = &ParaSet::can_baud_code,
     .pos = 41,
     .width = 2,
     .display = ParaDisplay::code,
     .max = 5,
     .extended = true,
     .control = "can_baudrate",
     .label_control = "can_baudrate_text",
     .label = "CAN Baudrate:",
     .unit_control = "can_baudrate_einheit",
     .unit = "[kbits/sec]",
     .tooltip = "Possible Values: 50, 125, 250, 500, 1000",
     .items = k_can_baud_items,
     .initial_text = "        50"},
    {.id = ParaField::rs232_baudrate,
     .name = "rs232_baudrate",
     .member = &ParaSet::rs232_baud_code,
     .pos = 43,
     .width = 2,
     .display = ParaDisplay::code,
     .max = 5,
     .extended = true,
     .control = "rs232_baudrate",
     .label_control = "rs232_baudrate_text",
     .label = "RS232 Baudrate:",
     .unit_control = "rs232_baudrate_einheit",
     .unit = "[bits/sec]",
     .tooltip = "Possible Values: 9600, 19200, 38400, 57600, 115200",
     .items = k_rs232_baud_items,
     .initial_text = "      9600"},
    catalogue_rows::filter(
        ParaField::equal_tolerance_rel, "equal_tolerance_rel", &ParaSet::equal_tolerance_rel, 45, 0,
        99, 2, 1, "0", "equal_tolerance_rel_anz", "equal_tolerance_rel", "equal_tolerance_rel_text",
        "Difference between 2 stripes (percentage) :", "Possible Values: 0 - 99",
        "Possible values for difference between 2 stripes (percentage): "
        "0 - 99"),
    catalogue_rows::filter(
        ParaField::gap_offset_rel, "gap_offset_rel", &ParaSet::gap_offset_rel, 49, 0, 99, 2, 1, "0",
        "gap_offset_rel_anz", "gap_offset_rel", "gap_offset_rel_text",
        "Difference between stripe and gap (percentage) :", "Possible Values: 0 - 99",
        "Possible values for difference between stripe and gap "
        "(percentage) : 0 - 99"),
    catalogue_rows::filter(ParaField::gap_correction, "gap_correction", &ParaSet::gap_correction,
                           53, 10, 200, 3, 10, "0", "gap_correction_anz", "gap_correction",
                           "gap_correction_text",
                           "Gap correction (percentage):", "Possible Values: 10 - 200",
                           "Possible values for gap correction: 10 - 200"),
    {.id = ParaField::can_identifier,
     .name = "can_identifier",
     .member = &ParaSet::can_identifier,
     .pos = 57,
     .width = 4,
     .display = ParaDisplay::can_id,
     .max = 0x7FF,
     .extended = true,
     .control = "can_identifier",
     .label_control = "can_identifier_text",
     .label = "CAN Identifier:",
     .tooltip = "Possible Values: 0x000 - 0x7FF",
     .digits = 5,
     .bad_text = ""},
}};

constexpr const ParaFieldDef& para_field(ParaField f) {
    return k_para_catalogue[static_cast<std::size_t>(f)];
}

// The row of that name ("speed", "can_identifier", ...); none for any other name.
const ParaFieldDef* find_para_field(std::string_view name);

// The field's value in a set (for a bit field, 0 or 1) and back.
std::uint32_t field_value(const ParaSet& set, const ParaFieldDef& f);
void set_field_value(ParaSet& set, const ParaFieldDef& f, std::uint32_t v);

// Whether a reply may carry this value without counting as wrong.
constexpr bool in_range(const ParaFieldDef& f, std::uint32_t v) {
    return v >= f.min && v <= f.max;
}

// The value in the units the window shows: "12,5", "8192", "250", "0x7FF", "on"; an entry
// that no list holds shows as "none" (code 0) or "?".
std::string display_value(const ParaFieldDef& f, std::uint32_t v);

// A value in the window's units back to its wire value ("12,5" or "12.5", "8192", "0x7FF",
// "on"/"off"); none when the text is not one of the field's values.
std::optional<std::uint32_t> parse_display_value(const ParaFieldDef& f, std::string_view text);

} // namespace trx::link
