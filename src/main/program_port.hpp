#pragma once

#include "capture/player.hpp"
#include "capture/tapped_port.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <string>

namespace trx::main {

// The one port every part of the program talks to: the serial device, or a capture being
// replayed in its place. Everything that crosses it is shown to the tap (the recorder).
class ProgramPort final : public capture::TappedPort {
public:
    ProgramPort(ui::SerialPort& device, ui::Clock& clock);

    // Only while closed: the next open plays this capture, or opens the device again.
    void use_replay(std::filesystem::path capture);
    void use_device();
    [[nodiscard]] bool replaying() const { return active_ == &replay_; }
    // Why the last replay stopped before the end of its capture; empty when it ran through.
    [[nodiscard]] const std::string& replay_stop_reason() const { return replay_.stop_reason(); }

    // The device's name; a replay is named by its file.
    void set_port_name(std::string name) override { device_.set_port_name(std::move(name)); }

private:
    [[nodiscard]] ui::SerialPort& active() const override { return *active_; }

    ui::SerialPort& device_;
    capture::Player replay_;
    ui::SerialPort* active_;
};

} // namespace trx::main
