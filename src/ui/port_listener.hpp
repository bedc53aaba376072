#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trx::ui {

// Listens on several serial devices side by side and sends nothing: the search for the port
// a scanner is on. Implemented on the system's devices in src/platform, scripted in tests.
class PortListener {
public:
    // Told the bytes each device delivers (by its index in `devices`); it answers true once it
    // has heard enough from that device, which is then let go.
    using Heard = std::function<bool(std::size_t index, std::string_view bytes)>;

    PortListener() = default;
    PortListener(const PortListener&) = delete;
    PortListener& operator=(const PortListener&) = delete;
    PortListener(PortListener&&) = delete;
    PortListener& operator=(PortListener&&) = delete;
    virtual ~PortListener() = default;

    // Opens every device read-only, listens until each has been heard enough or `at_most`
    // has passed, and closes them all again. One entry per device: empty when it was listened
    // to, else why it was passed over unopened (in use, no permission, gone).
    virtual std::vector<std::string> listen(const std::vector<std::string>& devices,
                                            std::chrono::milliseconds at_most,
                                            const Heard& heard) = 0;
};

} // namespace trx::ui
