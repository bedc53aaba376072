#pragma once

#include "link/shared.hpp"
#include "ui/services.hpp"

#include <string>
#include <string_view>

namespace trx::link {

// Writes command frames through the one shared checksum accumulator. The frame is handed to
// the port in one write at finish(), so a frame is on the wire whole or not at all and the
// bounded transmit buffer can never cut one in two.
class FrameWriter {
public:
    FrameWriter(ui::SerialPort& port, Shared& shared) : port_(port), shared_(shared) {}

    // Starts a frame; false (and nothing started) when the port is closed.
    bool start(char letter);
    // Adds payload characters to the frame and their codes to the accumulator.
    void add(std::string_view payload);
    // Appends checksum digits and ETX and writes the frame; false when the port is closed
    // or its transmit buffer cannot take the frame. Nothing is written then.
    bool finish();
    // The three steps in one call.
    bool send(char letter, std::string_view payload = {});

    [[nodiscard]] ui::SerialPort& port() const { return port_; }

private:
    ui::SerialPort& port_;
    Shared& shared_;
    std::string frame_;
    bool open_ = false;
};

} // namespace trx::link
