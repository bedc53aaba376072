#pragma once

#include "ui/platform.hpp"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace trx::platform {

// USB serial adapters (ttyUSB*, ttyACM*) under a device folder, in natural order, each with
// its /dev/serial/by-id name when the system made one.
class SystemSerialDevices : public ui::SerialDevices {
public:
    explicit SystemSerialDevices(std::filesystem::path dev = "/dev",
                                 std::filesystem::path sys = "/sys")
        : dev_(std::move(dev)), sys_(std::move(sys)) {}
    [[nodiscard]] std::vector<ui::SerialDevice> list() const override;
    // The device file exists, and for a built-in port (ttyS*) the kernel found a chip there:
    // a /dev/ttyS node stands for every port the kernel could have.
    [[nodiscard]] bool present(const std::string& device) const override;

private:
    std::filesystem::path dev_;
    std::filesystem::path sys_;
};

} // namespace trx::platform
