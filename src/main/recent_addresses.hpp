#pragma once

#include "ui/services.hpp"

#include <string>
#include <vector>

namespace trx::main {

// The last five network port addresses, newest first, kept in the config folder: one line,
// the addresses separated by blanks (an address holds none).
class RecentAddresses {
public:
    static constexpr std::size_t k_kept = 5;
    static constexpr const char* k_file_name = "network-ports";

    explicit RecentAddresses(ui::Files& files) : files_(files) {}
    [[nodiscard]] std::vector<std::string> list() const;
    // Puts `address` first; an older copy of it goes, and so does the sixth.
    void remember(const std::string& address);

private:
    ui::Files& files_;
};

} // namespace trx::main
