#pragma once

#include "capture/recorder.hpp"
#include "capture/tapped_port.hpp"
#include "ui/services.hpp"

#include <memory>
#include <string>

namespace trx::cli {

// The port record's session talks to: the device, with everything that crosses it going into
// the recorder, which records to the capture file from the start; its header names port_name.
class CapturePort final : public capture::TappedPort {
public:
    CapturePort(ui::SerialPort& device, const ui::Clock& clock, std::string program,
                std::unique_ptr<capture::Sink> file, const std::string& port_name)
        : device_(device), recorder_(clock, std::move(program)) {
        forward(device_);
        set_tap(&recorder_);
        recorder_.start(std::move(file), port_name, device_.is_open());
    }

    void set_port_name(std::string name) override { device_.set_port_name(std::move(name)); }
    [[nodiscard]] capture::Recorder& recorder() { return recorder_; }

private:
    [[nodiscard]] ui::SerialPort& active() const override { return device_; }

    ui::SerialPort& device_;
    capture::Recorder recorder_;
};

} // namespace trx::cli
