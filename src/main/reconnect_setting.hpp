#pragma once

#include "ui/services.hpp"

#include <optional>

namespace trx::main {

// "Reconnect automatically", kept in the config folder for each kind of port: on for network
// ports and off for local ones until the technician says otherwise. One line, such as
// "network=on local=off".
class ReconnectSetting {
public:
    static constexpr const char* k_file_name = "reconnect";

    explicit ReconnectSetting(ui::Files& files) : files_(files) {}
    [[nodiscard]] bool on(bool network) const;
    // Not writable: the choice holds for this run all the same.
    void set(bool network, bool on);

private:
    struct Values {
        bool network = true;
        bool local = false;
    };
    [[nodiscard]] Values read() const;

    ui::Files& files_;
    // What this run chose, whether or not the file took it.
    std::optional<Values> chosen_;
};

} // namespace trx::main
