#include "main/port_list.hpp"

#include <algorithm>
#include <map>
#include <system_error>
#include <tuple>

namespace trx::main {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t k_open_width = 13;
constexpr std::size_t k_close_width = 14;

std::string padded(std::string s, std::size_t width) {
    if (s.size() < width) {
        s.append(width - s.size(), ' ');
    }
    return s;
}

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

std::string open_caption(std::string_view name) {
    return padded("Open " + std::string(name), k_open_width);
}

std::string close_caption(std::string_view name) {
    return padded("Close " + std::string(name), k_close_width);
}

std::vector<SerialDevice> SystemSerialDevices::list() const {
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
    std::vector<SerialDevice> out;
    for (const auto& name : names) {
        const auto id = ids.find(name);
        out.push_back({(dev_ / name).string(), id == ids.end() ? std::string() : id->second});
    }
    return out;
}

std::vector<ui::Toolbar::Entry> port_entries(const std::vector<SerialDevice>& devices,
                                             bool with_simulator, bool enabled) {
    std::vector<ui::Toolbar::Entry> entries;
    for (int n = 1; n <= 10; ++n) {
        const std::string s = std::to_string(n);
        entries.push_back({"com" + s, "COM" + s, enabled, {}});
    }
    bool first_extra = true;
    for (const auto& d : devices) {
        entries.push_back(
            {fs::path(d.path).filename().string(), d.path, enabled, d.by_id, first_extra});
        first_extra = false;
    }
    if (with_simulator) {
        entries.push_back({k_simulator_key, k_simulator_caption, enabled, {}, first_extra});
    }
    return entries;
}

} // namespace trx::main
