#pragma once

#include "ui/platform.hpp"

#include <filesystem>
#include <utility>
#include <vector>

namespace trx::platform {

// USB serial adapters (ttyUSB*, ttyACM*) under a device folder, in natural order, each with
// its /dev/serial/by-id name when the system made one.
class SystemSerialDevices : public ui::SerialDevices {
public:
    explicit SystemSerialDevices(std::filesystem::path dev = "/dev") : dev_(std::move(dev)) {}
    [[nodiscard]] std::vector<ui::SerialDevice> list() const override;

private:
    std::filesystem::path dev_;
};

} // namespace trx::platform
