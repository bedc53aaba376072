#include "main/recent_addresses.hpp"

#include <algorithm>
#include <sstream>

namespace trx::main {

std::vector<std::string> RecentAddresses::list() const {
    const auto line = files_.read_first_line(files_.config_folder() / k_file_name);
    std::vector<std::string> out;
    if (!line) {
        return out;
    }
    std::istringstream words(*line);
    for (std::string w; words >> w && out.size() < k_kept;) {
        if (std::find(out.begin(), out.end(), w) == out.end()) {
            out.push_back(w);
        }
    }
    return out;
}

// Not writable: the list is only a convenience, the port opens all the same.
void RecentAddresses::remember(const std::string& address) {
    auto all = list();
    std::erase(all, address);
    all.insert(all.begin(), address);
    all.resize(std::min(all.size(), k_kept));
    std::string line;
    for (const auto& a : all) {
        line += (line.empty() ? "" : " ") + a;
    }
    (void)files_.replace_atomically(files_.config_folder() / k_file_name, line + "\n");
}

} // namespace trx::main
