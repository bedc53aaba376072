#include "platform/system_serial_devices.hpp"

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>

namespace trx::platform {

namespace fs = std::filesystem;

namespace {

bool is_adapter_name(std::string_view name) {
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

// "ttyUSB10" sorts after "ttyUSB9": prefix first, then the number.
std::tuple<std::string, unsigned long, std::string> natural_key(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
        --digits;
    }
    unsigned long n = 0;
    for (std::size_t i = digits; i < name.size() && i < digits + 9; ++i) {
        n = n * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return {name.substr(0, digits), n, name};
}

// Device file name -> its name under serial/by-id.
std::map<std::string, std::string> by_id_names(const fs::path& dev) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    const fs::path by_id = dev / "serial" / "by-id";
    for (fs::directory_iterator it(by_id, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = fs::read_symlink(it->path(), ec);
        if (ec) {
            ec.clear();
            continue;
        }
        out.emplace(target.filename().string(), it->path().filename().string());
    }
    return out;
}

} // namespace

std::vector<ui::SerialDevice> SystemSerialDevices::list() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dev_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (is_adapter_name(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return natural_key(a) < natural_key(b);
    });
    const auto ids = by_id_names(dev_);
    std::vector<ui::SerialDevice> out;
    for (const auto& name : names) {
        const auto id = ids.find(name);
        out.push_back({(dev_ / name).string(), id == ids.end() ? std::string() : id->second});
    }
    return out;
}

bool SystemSerialDevices::present(const std::string& device) const {
    const fs::path path(device);
    const auto in_dev = path.lexically_relative("/dev");
    const fs::path file = !in_dev.empty() && *in_dev.begin() != ".." ? dev_ / in_dev : path;
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        return false;
    }
    const std::string name = path.filename().string();
    if (!name.starts_with("ttyS")) {
        return true;
    }
    std::ifstream type(sys_ / "class" / "tty" / name / "type");
    std::string value;
    if (!std::getline(type, value)) {
        return true; // no sysfs to ask: the node is all there is to go by
    }
    return value != "0";
}

} // namespace trx::platform
