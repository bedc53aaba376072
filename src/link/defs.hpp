#pragma once

#include "link/frame_writer.hpp"

#include <cstdint>
#include <functional>
#include <utility>

namespace trx::link {

// Motor and laser flags, the payload of the control command "C".
enum ControlFlag : std::uint8_t { k_motor_off = 1, k_laser_on = 2 };

// The shared senders: read parameters "R", read index "L", and the control command "C".
class Defs {
public:
    // before_read_index: run first by every send_read_index (the parameter window's status
    // text becomes "Status:").
    Defs(FrameWriter& writer, std::function<void()> before_read_index)
        : writer_(writer), before_read_index_(std::move(before_read_index)) {}

    // STX "R" "5" "2" ETX; false when it could not be written.
    bool send_read_para();
    // before_read_index, then STX "L" "4" "C" ETX.
    bool send_read_index();
    // "C" with the flags as two upper-case hex digits; flags 0 send nothing.
    bool send_control(std::uint8_t flags);

    [[nodiscard]] FrameWriter& writer() const { return writer_; }

private:
    FrameWriter& writer_;
    std::function<void()> before_read_index_;
};

} // namespace trx::link
