#pragma once

#include "flashlib/flash_library.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// The lines of the update log. Each function gives one line without its line end; the window
// decides where line ends go.
namespace trx::service::update_log {

inline constexpr std::string_view k_line_end = "\r\n";
inline constexpr std::string_view k_reseting = "Reseting Controller";
inline constexpr std::string_view k_bootstrap = "Send Bootstrap Comand";
inline constexpr std::string_view k_finished = "Programming finished";
inline constexpr std::string_view k_aborted = "Programming aborted";
// Characters of the target's name that the log shows.
inline constexpr std::size_t k_name_shown = 8;

// Decimal, with one leading blank when not negative: " 42", "-7".
std::string number(std::int64_t v);

// A frequency in hertz: a whole value as plain digits with the leading blank (" 20000000"),
// anything else with up to 15 significant digits and a decimal point.
std::string frequency(double hz);

// The first 8 characters of the target name buffer. The name ends at a NUL; what follows is
// shown as blanks, as if the buffer's blanks had never been overwritten. A control character
// shows as "?" so that a garbled name cannot break the log into lines.
std::string name_shown(std::string_view buffer);

// What a progress report names: "Erasing", "Programming", "Verifying".
std::string_view phase_name(FlashProgress::Phase phase);

// "<step>:     Ok" and "<step>:     Error".
std::string ok(std::string_view step);
std::string error(std::string_view step);

std::string open_com(std::string_view port_name, std::string_view baud_text);
std::string target(std::string_view name, double hz);
std::string target_unknown(std::string_view name);
std::string load_file(std::int32_t size);
std::string auto_roms1(std::int16_t flag);
std::string hex_file_block(std::int32_t block);
// The line's rate for the transfer: "Transfer at 230400 baud".
std::string transfer_rate(std::int64_t baud);

} // namespace trx::service::update_log
