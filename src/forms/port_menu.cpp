#include "forms/port_menu.hpp"

#include <filesystem>

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

} // namespace

std::string open_caption(std::string_view name) {
    return padded("Open " + std::string(name), k_open_width);
}

std::string close_caption(std::string_view name) {
    return padded("Close " + std::string(name), k_close_width);
}

std::vector<ui::Toolbar::Entry> port_entries(const std::vector<ui::SerialDevice>& devices,
                                             bool with_simulator, bool enabled, bool with_find) {
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
        first_extra = false;
    }
    entries.push_back({k_replay_key, k_replay_caption, enabled, {}, first_extra});
    entries.push_back({k_network_key, k_network_caption, enabled, {}});
    if (with_find) {
        entries.push_back({k_find_key, k_find_caption, enabled, {}, true});
    }
    return entries;
}

} // namespace trx::main
