#pragma once

#include "main/recording.hpp"
#include "ui/status_bar.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace trx::main {

// Panel 2 tells what it offers and what runs: its tool tip says that a click opens the
// diagnostics menu, and while a recording runs the panel shows "REC" and the size written so
// far after the link statistics, until the recording stops.
class PanelNote {
public:
    static constexpr const char* k_click_hint =
        "Click: the diagnostics menu (save the last 10 minutes, record the wire, export the "
        "scan and the picture)";

    PanelNote(ui::StatusBar& bar, std::size_t panel, Recording& recording);

    // After the statistics were written, and when a recording starts or stops.
    void refresh();

    // "REC 512 B", "REC 12 kB", "REC 1.4 MB": the size of the capture so far.
    [[nodiscard]] static std::string rec_text(std::uint64_t bytes);

private:
    ui::StatusBar& bar_;
    std::size_t panel_;
    Recording& recording_;
    // What the panel showed before this note was added, and what it shows with it.
    std::string base_text_;
    std::string shown_text_;
    std::string base_tip_;
    std::string shown_tip_;
};

} // namespace trx::main
