#pragma once

#include "ui/services.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trx::main {

inline constexpr const char* k_settings_file = "TRX81500.ini";
// A file of this name beside the program makes it a portable copy (a build tree has one):
// its settings file lives in its own folder.
inline constexpr const char* k_portable_marker = "TRX81500.portable";

// The settings file: one line, the path of the hex file last used, ended by CR LF. It lives
// in the program's folder only for a portable copy whose folder takes files; an installed
// program keeps it in the user's configuration folder, also when run as root, so nothing is
// ever written into a system folder. Every failure is silent: the caller gets a value, no
// message.
class Settings {
public:
    explicit Settings(ui::Files& files) : files_(files) {}

    // The remembered hex file when the settings file names one that can be read; nullopt
    // otherwise (no file, unreadable, empty line, the named file gone).
    [[nodiscard]] std::optional<std::string> read() const;

    // Replaces the settings file with `hex_path` and CR LF; false when it could not. A
    // failure leaves the older file as it was, never a truncated one.
    bool write(std::string_view hex_path);

    // The file read() uses: the one write() replaces when it exists, else the other one.
    [[nodiscard]] std::filesystem::path read_path() const;
    // The file write() replaces: in the program folder when it keeps the settings.
    [[nodiscard]] std::filesystem::path write_path() const;
    // Whether the program's folder keeps the settings file: a portable marker beside the
    // program, not under /usr or /opt, and a folder that takes files.
    [[nodiscard]] bool beside_program() const;

private:
    ui::Files& files_;
};

} // namespace trx::main
