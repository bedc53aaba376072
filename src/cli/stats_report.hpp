#pragma once

#include "cli/command_line.hpp"
#include "cli/turn_lines.hpp"
#include "service/scan_statistics.hpp"

#include <string>

// monitor --stats and replay --stats: the scan statistics as a table for people, one JSON
// object, or CSV (one row per code, the layout of every export: docs/exports.md).
namespace trx::cli {

// The window --turns asks for: N turns, at most what the statistics hold.
int stats_window(const CommandLine& line, int fallback);

// The whole report, its last line end included.
std::string stats_report(const service::ScanStatistics& stats, TurnFormat format);

} // namespace trx::cli
