#pragma once

#include "ui/controls.hpp"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trx::main {

// A serial device the system reports beyond the ten COM ports.
struct SerialDevice {
    std::string path;  // "/dev/ttyUSB0"
    std::string by_id; // its stable name under /dev/serial/by-id, empty when none
};

// The serial devices present now; asked each time the port menu opens.
class SerialDevices {
public:
    SerialDevices() = default;
    SerialDevices(const SerialDevices&) = delete;
    SerialDevices& operator=(const SerialDevices&) = delete;
    SerialDevices(SerialDevices&&) = delete;
    SerialDevices& operator=(SerialDevices&&) = delete;
    virtual ~SerialDevices() = default;
    [[nodiscard]] virtual std::vector<SerialDevice> list() const = 0;
};

// USB serial adapters (ttyUSB*, ttyACM*) under a device folder, in natural order, each with
// its /dev/serial/by-id name when the system made one.
class SystemSerialDevices : public SerialDevices {
public:
    explicit SystemSerialDevices(std::filesystem::path dev = "/dev") : dev_(std::move(dev)) {}
    [[nodiscard]] std::vector<SerialDevice> list() const override;

private:
    std::filesystem::path dev_;
};

// Result of starting the bundled scanner simulator.
struct SimulatorStart {
    bool ok = false;
    std::string device; // its pseudo-terminal, when ok
    std::string reason; // why it did not start, otherwise
};

// The bundled scanner simulator behind the "Simulator" menu entry.
class SimulatorHost {
public:
    SimulatorHost() = default;
    SimulatorHost(const SimulatorHost&) = delete;
    SimulatorHost& operator=(const SimulatorHost&) = delete;
    SimulatorHost(SimulatorHost&&) = delete;
    SimulatorHost& operator=(SimulatorHost&&) = delete;
    virtual ~SimulatorHost() = default;
    virtual SimulatorStart start() = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool running() const = 0;
};

inline constexpr const char* k_simulator_key = "simulator";
inline constexpr const char* k_simulator_caption = "Simulator";

// Port button captions: "Open " / "Close " + name, padded with blanks to 13 / 14 characters.
std::string open_caption(std::string_view name);
std::string close_caption(std::string_view name);

// The port menu: "COM1" ... "COM10" (keys "com1" ... "com10"), then the devices (key: the
// device's file name, caption: its path, tooltip: its by-id name), then "Simulator" when
// there is one. Every entry takes `enabled`.
std::vector<ui::Toolbar::Entry> port_entries(const std::vector<SerialDevice>& devices,
                                             bool with_simulator, bool enabled);

} // namespace trx::main
