#pragma once

#include "link/frame_writer.hpp"
#include "ui/services.hpp"

namespace trx::main {

// The frame writer's output on the main serial port.
class PortOutput final : public link::FrameOutput {
public:
    explicit PortOutput(ui::SerialPort& port) : port_(port) {}
    [[nodiscard]] bool is_open() const override { return port_.is_open(); }
    [[nodiscard]] bool write(std::string_view bytes) override { return port_.write(bytes); }

private:
    ui::SerialPort& port_;
};

} // namespace trx::main
