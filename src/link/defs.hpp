#pragma once

#include "link/frame_writer.hpp"
#include "ui/controls.hpp"

#include <cstdint>

namespace trx::link {

// Motor and laser flags, the payload of the control command "C".
enum ControlFlag : std::uint8_t { k_motor_off = 1, k_laser_on = 2 };

// The shared senders: read parameters "R", read index "L", and the control command "C".
class Defs {
public:
    Defs(FrameWriter& writer, ui::Window& para, ui::StatusBar& para_statusbar)
        : writer_(writer), para_(para), para_statusbar_(para_statusbar) {}

    // STX "R" "5" "2" ETX; false when it could not be written.
    bool send_read_para();
    // Sets the parameter window's status text to "Status:" (creating that window hidden
    // when needed), then STX "L" "4" "C" ETX.
    bool send_read_index();
    // "C" with the flags as two upper-case hex digits; flags 0 send nothing.
    bool send_control(std::uint8_t flags);

    [[nodiscard]] FrameWriter& writer() const { return writer_; }

private:
    FrameWriter& writer_;
    ui::Window& para_;
    ui::StatusBar& para_statusbar_;
};

} // namespace trx::link
