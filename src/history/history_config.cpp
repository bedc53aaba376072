#include "history/history_config.hpp"

#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace trx::history {

namespace {

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "unknown";
    }
    return name;
}

std::string login_name() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return pw->pw_name;
    }
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') {
        return user;
    }
    return "uid " + std::to_string(::geteuid());
}

} // namespace

Result<HistoryConfig> read_history_config(const std::filesystem::path& config_folder,
                                          const char* url_variable) {
    HistoryConfig config;
    const std::filesystem::path file = config_folder / k_config_file;
    std::ifstream in(file);
    std::string line;
    int number = 0;
    while (in && std::getline(in, line)) {
        ++number;
        const std::string text = trimmed(line.substr(0, line.find('#')));
        if (text.empty()) {
            continue;
        }
        const auto eq = text.find('=');
        const std::string name = eq == std::string::npos ? text : trimmed(text.substr(0, eq));
        const std::string value = eq == std::string::npos ? "" : trimmed(text.substr(eq + 1));
        if (eq != std::string::npos && name == "url") {
            config.url = value;
        } else if (eq != std::string::npos && name == "station") {
            config.station = value;
        } else {
            return Error{ErrorKind::bad_input, file.string() + ", line " + std::to_string(number) +
                                                   ": expected \"url = ...\" or \"station = ...\""};
        }
    }
    if (url_variable != nullptr) {
        if (const char* url = std::getenv(url_variable); url != nullptr && *url != '\0') {
            config.url = url;
        }
    }
    return config;
}

Origin local_origin(const HistoryConfig& config, std::string program) {
    return {config.station.empty() ? host_name() : config.station, login_name(),
            std::move(program)};
}

} // namespace trx::history
