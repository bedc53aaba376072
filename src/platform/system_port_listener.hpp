#pragma once

#include "platform/system_port_diagnosis.hpp"
#include "ui/port_listener.hpp"

namespace trx::platform {

// Listens on the system's serial devices: each opened read-only, as the scanner's line
// (57600 baud, 8N1, raw), all of them polled together, every one closed again at the end.
// A device another program holds is passed over unopened, so a search never disturbs it.
class SystemPortListener final : public ui::PortListener {
public:
    // holders: finds the programs that hold a device; null: only a device opened
    // exclusively counts as in use.
    explicit SystemPortListener(const SystemPortDiagnosis* holders = nullptr) : holders_(holders) {}

    std::vector<std::string> listen(const std::vector<std::string>& devices,
                                    std::chrono::milliseconds at_most, const Heard& heard) override;

private:
    const SystemPortDiagnosis* holders_;
};

} // namespace trx::platform
