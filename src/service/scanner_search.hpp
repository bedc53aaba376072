#pragma once

#include "ui/platform.hpp"
#include "ui/port_listener.hpp"

#include <chrono>
#include <string>
#include <vector>

// "Which port is the scanner on?": every serial device present is listened to, side by side,
// and the ones that deliver a status frame with a good checksum are the scanner's. Nothing is
// sent: an unknown device on another port must not get commands meant for a scanner.
namespace trx::service {

// A port the search may try: its name as the port menu and --port know it ("COM3",
// "/dev/ttyUSB0") and the device behind it.
struct SearchCandidate {
    std::string name;
    std::string device;
    std::string by_id; // an adapter's stable name; empty when none
};

// What listening on one candidate showed.
struct SearchVerdict {
    SearchCandidate port;
    bool scanner = false;
    std::string why; // what was heard, or why the port was passed over
};

struct SearchOutcome {
    std::vector<SearchVerdict> tried;

    [[nodiscard]] std::vector<SearchCandidate> found() const;
    // One line per port tried, "  NAME (DEVICE): why", without a final line end.
    [[nodiscard]] std::string tried_lines() const;
};

inline constexpr std::chrono::milliseconds k_listen_at_most{1000};

// COM1 ... COM10 where a device stands behind them, then every adapter the system reports.
std::vector<SearchCandidate> search_candidates(const ui::SerialDevices& devices);

// Listens on every candidate at once for at most `at_most`; a port is decided as soon as a
// status frame with a good checksum has come.
SearchOutcome search_scanner(const std::vector<SearchCandidate>& candidates,
                             ui::PortListener& listener,
                             std::chrono::milliseconds at_most = k_listen_at_most);

} // namespace trx::service
