#pragma once

#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "monitor/scan_csv.hpp"
#include "monitor/scan_picture.hpp"
#include "monitor/tag_tables.hpp"
#include "service/turn.hpp"
#include "ui/controls.hpp"
#include "ui/signal.hpp"

#include <optional>

namespace trx::monitor {

// The controls the live monitor reads and writes.
struct LiveMonitorControls {
    ui::Label& inkremente;
    ui::Label& temperature;
    ui::Grid& data;
    ui::Grid& data2;
    ui::CheckBox& check1;
    ui::Picture& map;
    const ui::Window& para;                 // status frames wait while it is shown
    const ui::Label& typ;                   // scanner type
    const ui::TextBox& max_modul_angle_anz; // M
};

// Shows every status frame the receiver hands over: the labels `inkremente` and
// `temperature`, the status word, and one scan redraw of the tag tables and the picture,
// stripe by stripe as the frame is decoded.
class LiveMonitor {
public:
    LiveMonitor(const LiveMonitorControls& controls, Shared& shared, link::Receiver& receiver);

    // Status frames are decoded only while the parameter window is hidden and a valid
    // parameter set has been received.
    [[nodiscard]] bool decoding_allowed() const;
    void show(const link::ReceivedFrame& frame);
    // A status frame is being shown: the views hold live data from now on.
    ui::Signal<> frame_shown;

    // The stripes the tables show now; none before the first status frame was shown.
    [[nodiscard]] const std::optional<ShownScan>& shown_scan() const { return scan_; }

    // A whole turn shown, for the scan statistics; its t_ms is left to the receiver to set.
    ui::Signal<const service::Turn&> turn_shown;

private:
    void show_header(const link::StatusHeader& h);
    void complete_first_row(const link::FirstStripe& f);

    ui::Label& inkremente_;
    ui::Label& temperature_;
    const ui::Window& para_;
    const ui::Label& typ_;
    const ui::TextBox& max_modul_;
    Shared& shared_;
    TagTables tables_;
    ScanPicture picture_;
    std::optional<ShownScan> scan_;
    service::Turn turn_; // kept, so a turn costs no allocation once the stripes have room
};

} // namespace trx::monitor
