#pragma once

#include "base/result.hpp"

#include <string>
#include <vector>

// System services the window logic asks for, implemented in src/platform (POSIX) and faked
// in the test kit.
namespace trx::ui {

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
    // Whether a device stands behind a device path ("/dev/ttyS0"); a system that cannot tell
    // says it does, and the opening finds out.
    [[nodiscard]] virtual bool present(const std::string& /*device*/) const { return true; }
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
    // Its pseudo-terminal; a port error with the reason when it did not start.
    virtual Result<std::string> start() = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool running() = 0;
};

// Why a serial port will not open, found out from the system, in words a technician can act
// on.
class PortDiagnosis {
public:
    PortDiagnosis() = default;
    PortDiagnosis(const PortDiagnosis&) = delete;
    PortDiagnosis& operator=(const PortDiagnosis&) = delete;
    PortDiagnosis(PortDiagnosis&&) = delete;
    PortDiagnosis& operator=(PortDiagnosis&&) = delete;
    virtual ~PortDiagnosis() = default;
    // The detail for a port that did not open ("COM3" or a device path): the cause the
    // system shows (no such device, and which there are; in use, and by which program; no
    // permission, and which group to join), else `reason`, the open's own words; then a
    // service known to grab such devices, when it runs.
    [[nodiscard]] virtual std::string explain(const std::string& port_name,
                                              const std::string& reason) const = 0;
};

} // namespace trx::ui
