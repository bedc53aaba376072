#pragma once

#include "ui/platform.hpp"

#include <string>
#include <utility>
#include <vector>

namespace trx::testkit {

// The serial devices the system reports, as the test scripts them.
class ScriptedSerialDevices : public ui::SerialDevices {
public:
    [[nodiscard]] std::vector<ui::SerialDevice> list() const override { return devices_; }
    void set(std::vector<ui::SerialDevice> d) { devices_ = std::move(d); }

private:
    std::vector<ui::SerialDevice> devices_;
};

} // namespace trx::testkit
