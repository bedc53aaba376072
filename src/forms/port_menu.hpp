#pragma once

#include "ui/controls.hpp"
#include "ui/platform.hpp"

#include <string>
#include <string_view>
#include <vector>

// The port menu of the main window's first toolbar button, and the button's captions.
namespace trx::main {

inline constexpr const char* k_simulator_key = "simulator";
inline constexpr const char* k_simulator_caption = "Simulator";
inline constexpr const char* k_replay_key = "replay";
inline constexpr const char* k_replay_caption = "Replay...";
inline constexpr const char* k_network_key = "network";
inline constexpr const char* k_network_caption = "Network port...";
inline constexpr const char* k_find_key = "find";
inline constexpr const char* k_find_caption = "Find scanner";
// A check item after the ports: a lost link is waited for and the port reopened.
inline constexpr const char* k_reconnect_key = "reconnect";
inline constexpr const char* k_reconnect_caption = "Reconnect automatically";

// Port button captions: "Open " / "Close " + name, padded with blanks to 13 / 14 characters.
std::string open_caption(std::string_view name);
std::string close_caption(std::string_view name);

// The port menu: "COM1" ... "COM10" (keys "com1" ... "com10"), then the devices (key: the
// device's file name, caption: its path, tooltip: its by-id name), then "Simulator" when
// there is one, then "Replay..." and "Network port...", then "Find scanner" when the system
// can search. Every entry takes `enabled`.
std::vector<ui::Toolbar::Entry> port_entries(const std::vector<ui::SerialDevice>& devices,
                                             bool with_simulator, bool enabled,
                                             bool with_find = false);

} // namespace trx::main
