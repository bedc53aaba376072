#pragma once

#include <string>
#include <string_view>

namespace trx {

// The ten menu ports "COM1" ... "COM10" map to the platform's first ten serial devices;
// every other port name is already a device path and passes unchanged.
inline std::string device_for_port_name(std::string_view name) {
    if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM") {
        return std::string(name);
    }
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') {
            return std::string(name);
        }
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 10 || name[3] == '0') {
        return std::string(name);
    }
#ifdef _WIN32
    return std::string(name);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

} // namespace trx
