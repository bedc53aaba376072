#pragma once

#include "ui/controls.hpp"

namespace trx::sw_update {

inline constexpr const char* k_sw_update_caption = "TRX 81500-A V1.09   -   Softwareupdate";
inline constexpr std::uint32_t k_log_green = ui::rgb(0, 192, 0);
inline constexpr std::uint32_t k_log_red = ui::rgb(255, 0, 0);

// The controls of the software update window with their design-time state.
struct SwUpdateForm {
    SwUpdateForm();

    ui::Window window{"sw_update", k_sw_update_caption};

    ui::Frame Frame1{window, "Frame1", "Hex-file"};
    ui::Button openbutton{window, "openbutton", "Open", &Frame1};
    ui::Label hexfilename{window, "hexfilename", "", &Frame1};
    // The chosen image's identity ("no identity" for a file without a block).
    ui::Label image_identity{window, "image_identity", "", &Frame1};

    ui::Frame Frame5{window, "Frame5", ""};
    ui::Button program{window, "program", "Program", &Frame5};
    // Compares the flash with the image and writes nothing; enabled as program is.
    ui::Button cmd_verify{window, "cmd_verify", "Verify", &Frame5};

    ui::Frame Frame3{window, "Frame3", "Status"};
    ui::TextBox status{window, "status", &Frame3};
    // Erase and program progress while the flash library runs.
    ui::ProgressBar progress{window, "progress", &Frame3};
    // Why the last run failed, in full, under the log; empty while nothing is known.
    ui::Label failure_reason{window, "failure_reason", "", &Frame3};

    // Off by default: it costs a read-back of the whole flash before the erase.
    ui::CheckBox keep_firmware{window, "keep_firmware", "Keep the current firmware first"};

    ui::Button closebutton{window, "closebutton", "Close"};

    ui::Timer sw_timer_1{window, "sw_timer_1", 500, false};
    ui::Timer sw_timer_2{window, "sw_timer_2", 500, false};
};

} // namespace trx::sw_update
