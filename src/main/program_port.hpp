#pragma once

#include "main/replay_port.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <string>
#include <string_view>

namespace trx::main {

// What passes the program's port, both directions and its events: the recorder listens here.
class WireTap {
public:
    WireTap() = default;
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;
    WireTap(WireTap&&) = delete;
    WireTap& operator=(WireTap&&) = delete;
    virtual ~WireTap() = default;
    virtual void received(std::string_view bytes) = 0;
    virtual void sent(std::string_view bytes) = 0;
    virtual void write_refused(std::string_view bytes) = 0;
    virtual void opened(const std::string& name) = 0;
    virtual void closed() = 0;
    virtual void lost(const std::string& why) = 0;
};

// The one port every part of the program talks to: the serial device, or a capture being
// replayed in its place. Everything that crosses it is shown to the tap.
class ProgramPort final : public ui::SerialPort {
public:
    ProgramPort(ui::SerialPort& device, ui::Clock& clock);

    void set_tap(WireTap* tap) { tap_ = tap; }
    // Only while closed: the next open plays this capture, or opens the device again.
    void use_replay(std::filesystem::path capture);
    void use_device();
    [[nodiscard]] bool replaying() const { return active_ == &replay_; }

    // The device's name; a replay is named by its file.
    void set_port_name(std::string name) override { device_.set_port_name(std::move(name)); }
    [[nodiscard]] std::string port_name() const override { return active_->port_name(); }
    ui::OpenResult open() override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return active_->is_open(); }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override { return active_->pending_output(); }

private:
    void forward(ui::SerialPort& from);

    ui::SerialPort& device_;
    ReplayPort replay_;
    ui::SerialPort* active_;
    WireTap* tap_ = nullptr;
    ui::Connections connections_;
};

} // namespace trx::main
