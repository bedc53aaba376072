#pragma once

#include "ui/signal.hpp"

#include "link/receiver.hpp"
#include "ui/controls.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace trx::monitor {

// The link's health in a status bar panel: good frames in the last second and the frames
// with something wrong since the port was opened ("12 fr/s  0 bad"), the totals by kind and
// the last decoder fault in the panel's tooltip. The panel stays empty until a port opens.
class LinkStatistics {
public:
    // timer: ticks once a second while a port has been opened; receiver: whose counters
    // are shown, and reset at every opening.
    LinkStatistics(ui::StatusBar& bar, std::size_t panel, ui::Timer& timer,
                   link::Receiver& receiver);

    // A port was opened: counting starts afresh, and the first figures come a second later.
    void port_opened();

    static constexpr int k_interval_ms = 1000;

    // The panel's text and tooltip for these counters and this many good frames in the last
    // second.
    [[nodiscard]] static std::string panel_text(std::uint64_t frames_per_second,
                                                const link::ReceiveCounters& c);
    [[nodiscard]] static std::string tooltip(const link::ReceiveCounters& c);

private:
    void on_tick();
    void show(std::uint64_t frames_per_second);

    ui::StatusBar& bar_;
    std::size_t panel_;
    ui::Timer& timer_;
    link::Receiver& receiver_;
    std::uint64_t good_at_tick_ = 0; // good frames counted up to the last tick
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::monitor
