#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace trx {

// The ten menu ports "COM1" ... "COM10" map to the platform's first ten serial devices;
// every other port name is already a device path and passes unchanged. A name with a "/" in
// it is a path: a relative one is taken from the working folder, never looked up under /dev;
// a network address ("socket://HOST:PORT", "rfc2217://HOST:PORT") is no path.
inline std::string device_for_port_name(std::string_view name) {
    if (name.find("://") != std::string_view::npos) {
        return std::string(name);
    }
    if (name.find('/') != std::string_view::npos && name.front() != '/') {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(std::filesystem::path(name), ec);
        return ec ? std::string(name) : absolute.lexically_normal().string();
    }
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
