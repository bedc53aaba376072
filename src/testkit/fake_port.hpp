#pragma once

#include "testkit/virtual_clock.hpp"
#include "ui/services.hpp"

#include <map>
#include <string>

namespace trx::testkit {

// A serial port in virtual time: written bytes are recorded at once and leave the 512-byte
// transmit buffer at 57600 baud 8N1 (5760 bytes per second).
class FakeSerialPort : public ui::SerialPort {
public:
    explicit FakeSerialPort(const VirtualClock& clock) : clock_(clock) {}

    void set_port_name(std::string name) override { name_ = std::move(name); }
    [[nodiscard]] std::string port_name() const override { return name_; }
    ui::OpenResult open() override;
    void close() override { open_ = false; }
    [[nodiscard]] bool is_open() const override { return open_; }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override;

    // --- test side ---
    void set_open_fails(bool fails, std::string reason = "No such file or directory") {
        open_fails_ = fails;
        fail_reason_ = std::move(reason);
    }
    // Opens of this one port name fail with the reason given.
    void set_missing(std::string name, std::string reason) {
        missing_[std::move(name)] = std::move(reason);
    }
    // Opens of this port name work again.
    void set_found(const std::string& name) { missing_.erase(name); }
    // Bytes from the scanner; delivered only while the port is open.
    void inject(std::string_view bytes);
    std::string take_sent();
    // The device disappears: the port closes and reports it lost.
    void pull_device();
    // While set, every write to the open port fails, as when the device reports an error.
    void set_writes_fail(bool fail) { writes_fail_ = fail; }

private:
    const VirtualClock& clock_;
    std::string name_;
    bool open_ = false;
    bool open_fails_ = false;
    bool writes_fail_ = false;
    std::string fail_reason_;
    std::map<std::string, std::string> missing_;
    std::string sent_;
    VirtualClock::duration busy_until_{0};
};

} // namespace trx::testkit
