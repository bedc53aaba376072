#pragma once

#include "link/shared.hpp"

#include <string>
#include <string_view>

namespace trx::link {

// Where command frames go: the serial port, as far as the frame writer needs to see it.
class FrameOutput {
public:
    FrameOutput() = default;
    FrameOutput(const FrameOutput&) = delete;
    FrameOutput& operator=(const FrameOutput&) = delete;
    FrameOutput(FrameOutput&&) = delete;
    FrameOutput& operator=(FrameOutput&&) = delete;
    virtual ~FrameOutput() = default;

    [[nodiscard]] virtual bool is_open() const = 0;
    // All bytes or none; false when they were not taken.
    [[nodiscard]] virtual bool write(std::string_view bytes) = 0;
};

// Writes command frames through the one shared checksum accumulator. The frame is handed to
// the port in one write at finish(), so a frame is on the wire whole or not at all and the
// bounded transmit buffer can never cut one in two.
class FrameWriter {
public:
    FrameWriter(FrameOutput& out, Shared& shared) : out_(out), shared_(shared) {}

    // Starts a frame; false (and nothing started) when the port is closed.
    bool start(char letter);
    // Adds payload characters to the frame and their codes to the accumulator.
    void add(std::string_view payload);
    // Appends checksum digits and ETX and writes the frame; false when the port is closed
    // or its transmit buffer cannot take the frame. Nothing is written then.
    bool finish();
    // The three steps in one call.
    bool send(char letter, std::string_view payload = {});

private:
    FrameOutput& out_;
    Shared& shared_;
    std::string frame_;
    bool open_ = false;
};

} // namespace trx::link
