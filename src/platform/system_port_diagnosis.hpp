#pragma once

#include "base/log.hpp"
#include "ui/platform.hpp"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace trx::platform {

// Why a serial device will not open, read from the system's own files: the device node and
// its owner, group and mode (/dev), the groups (/etc/group, /etc/passwd), the processes and
// their open files (/proc), lock files (/run/lock, /var/lock: a live holder, or one left
// behind that the user may not remove) and the kernel's serial ports
// (/sys/class/tty). Everything is looked up under a root folder, so that tests can build a
// system of their own.
class SystemPortDiagnosis final : public ui::PortDiagnosis {
public:
    // Who opens the port: the permissions are judged for this user, as the kernel would.
    struct User {
        uid_t uid = 0;
        std::vector<gid_t> groups; // effective and supplementary groups of the process
        std::string name;
        pid_t pid = 0; // the opening process: never named as the device's holder
        // This process.
        static User current();
    };

    explicit SystemPortDiagnosis(std::filesystem::path root = "/", User user = User::current());
    // The same, telling `log` (trx.platform) what it found for every port that will not open.
    explicit SystemPortDiagnosis(Log& log, std::filesystem::path root = "/",
                                 User user = User::current());

    [[nodiscard]] std::string explain(const std::string& port_name,
                                      const std::string& reason) const override;
    // "in use by NAME (process N)" when another process holds the device open or a live
    // lock file names one; empty when it is free.
    [[nodiscard]] std::string in_use(const std::string& device) const;

private:
    struct Holder {
        pid_t pid = 0;
        std::string name;
        std::string lock_file; // the lock file naming it; empty when found by its open file
    };

    // A system path ("/dev/ttyUSB0") in the root folder.
    [[nodiscard]] std::filesystem::path in_root(const std::string& system_path) const;
    [[nodiscard]] std::string cause(const std::string& device) const;
    [[nodiscard]] std::string missing(const std::string& device) const;
    [[nodiscard]] std::string no_uart(const std::string& device) const;
    [[nodiscard]] std::string no_permission(const std::string& device, uid_t owner, gid_t group,
                                            bool group_may) const;
    [[nodiscard]] std::string adapters_present() const;
    [[nodiscard]] std::vector<Holder> holders(const std::string& device) const;
    [[nodiscard]] static std::vector<std::string> lock_files(const std::string& device);
    [[nodiscard]] std::string stale_lock(const std::string& device) const;
    [[nodiscard]] bool in_group(gid_t group) const;
    [[nodiscard]] std::vector<pid_t> processes() const;
    [[nodiscard]] std::string process_name(pid_t pid) const;
    [[nodiscard]] std::vector<std::string> grabbers(const std::string& device) const;

    std::filesystem::path root_;
    User user_;
    Log* log_ = nullptr;
};

} // namespace trx::platform
