#include "main/reconnect_setting.hpp"

#include <sstream>
#include <string>

namespace trx::main {

namespace {

constexpr std::string_view k_network = "network=";
constexpr std::string_view k_local = "local=";

// "on" or "off" after the key; anything else leaves the value as it was.
void take(const std::string& word, std::string_view key, bool& value) {
    if (!word.starts_with(key)) {
        return;
    }
    const std::string v = word.substr(key.size());
    if (v == "on" || v == "off") {
        value = v == "on";
    }
}

std::string word(bool on) {
    return on ? "on" : "off";
}

} // namespace

ReconnectSetting::Values ReconnectSetting::read() const {
    if (chosen_) {
        return *chosen_;
    }
    Values v;
    const auto line = files_.read_first_line(files_.config_folder() / k_file_name);
    if (!line) {
        return v;
    }
    std::istringstream words(*line);
    for (std::string w; words >> w;) {
        take(w, k_network, v.network);
        take(w, k_local, v.local);
    }
    return v;
}

bool ReconnectSetting::on(bool network) const {
    const Values v = read();
    return network ? v.network : v.local;
}

void ReconnectSetting::set(bool network, bool on) {
    Values v = read();
    (network ? v.network : v.local) = on;
    chosen_ = v;
    (void)files_.replace_atomically(files_.config_folder() / k_file_name,
                                    std::string(k_network) + word(v.network) + " " +
                                        std::string(k_local) + word(v.local) + "\n");
}

} // namespace trx::main
