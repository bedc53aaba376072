#include "platform/system_port_diagnosis.hpp"

#include "base/numtext.hpp"
#include "base/port_names.hpp"
#include "base/text.hpp"
#include "platform/system_serial_devices.hpp"

#include <algorithm>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace trx::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view k_again = "Close that program, then open the port again.";

std::optional<std::string> first_line(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return line;
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> out;
    for (std::size_t from = 0;;) {
        const auto at = s.find(sep, from);
        out.emplace_back(s.substr(from, at - from));
        if (at == std::string_view::npos) {
            return out;
        }
        from = at + 1;
    }
}

// The row of /etc/group or /etc/passwd whose third field is `id`.
std::vector<std::string> account_row(const fs::path& table, unsigned id) {
    std::ifstream in(table);
    const std::string key = num::dec(id);
    for (std::string line; std::getline(in, line);) {
        auto fields = split(line, ':');
        if (fields.size() >= 3 && fields[2] == key) {
            return fields;
        }
    }
    return {};
}

bool is_adapter(std::string_view device) {
    const auto name = device.substr(device.rfind('/') + 1);
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

// Whether an open file (a /proc/PID/fd link) is the device: the same device numbers for a
// device node (two names of one terminal, or a link to it), the same file otherwise.
// std::filesystem::equivalent cannot be used: libstdc++ calls two device nodes different.
bool same_file(const fs::path& open_file, const struct stat& device) {
    struct stat st {};
    if (::stat(open_file.c_str(), &st) != 0) {
        return false;
    }
    const bool node = S_ISCHR(device.st_mode) || S_ISBLK(device.st_mode);
    if (node) {
        return (st.st_mode & S_IFMT) == (device.st_mode & S_IFMT) && st.st_rdev == device.st_rdev;
    }
    return st.st_dev == device.st_dev && st.st_ino == device.st_ino;
}

std::string holder_text(pid_t pid, const std::string& name, const std::string& lock_file) {
    std::string pid_text = "process " + num::dec(pid);
    if (!lock_file.empty()) {
        pid_text += ", lock file " + lock_file;
    }
    return (name.empty() ? "a program" : name) + " (" + pid_text + ")";
}

} // namespace

SystemPortDiagnosis::User SystemPortDiagnosis::User::current() {
    User u;
    u.uid = ::getuid();
    u.pid = ::getpid();
    u.groups.push_back(::getegid());
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        std::vector<gid_t> more(static_cast<std::size_t>(n));
        if (::getgroups(n, more.data()) == n) {
            u.groups.insert(u.groups.end(), more.begin(), more.end());
        }
    }
    std::vector<char> buf(4096);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(u.uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
        u.name = found->pw_name;
    }
    return u;
}

SystemPortDiagnosis::SystemPortDiagnosis(fs::path root, User user)
    : root_(std::move(root)), user_(std::move(user)) {}

SystemPortDiagnosis::SystemPortDiagnosis(Log& log, fs::path root, User user)
    : root_(std::move(root)), user_(std::move(user)), log_(&log) {}

fs::path SystemPortDiagnosis::in_root(const std::string& system_path) const {
    return root_ / fs::path(system_path).relative_path();
}

std::string SystemPortDiagnosis::explain(const std::string& port_name,
                                         const std::string& reason) const {
    const std::string device = device_for_port_name(port_name);
    const std::string found = cause(device);
    std::string why = found.empty() ? reason : found;
    const auto hints = grabbers(device);
    for (const auto& hint : hints) {
        why += (why.empty() ? "" : "\n") + hint;
    }
    log_if(log_, LogLevel::warning, log_category::platform, [&] {
        std::string text = port_name + " (" + device + ") will not open: " + reason + "; ";
        text += found.empty() ? "the system shows no cause" : "found: " + found;
        for (const auto& hint : hints) {
            text += "; " + hint;
        }
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    });
    return why;
}

std::string SystemPortDiagnosis::in_use(const std::string& device) const {
    std::string who;
    for (const auto& h : holders(device)) {
        who += (who.empty() ? "" : ", ") + holder_text(h.pid, h.name, h.lock_file);
    }
    return who.empty() ? who : "in use by " + who;
}

// Empty when the system shows nothing wrong with the device.
std::string SystemPortDiagnosis::cause(const std::string& device) const {
    struct stat st {};
    if (::stat(in_root(device).c_str(), &st) != 0) {
        return missing(device);
    }
    if (auto none = no_uart(device); !none.empty()) {
        return none;
    }
    constexpr mode_t rw_owner = S_IRUSR | S_IWUSR;
    constexpr mode_t rw_group = S_IRGRP | S_IWGRP;
    constexpr mode_t rw_other = S_IROTH | S_IWOTH;
    // The kernel's rule: the owner's bits for the owner, else the group's for a member, else
    // the others'.
    const mode_t bits = st.st_uid == user_.uid ? rw_owner
                        : in_group(st.st_gid)  ? rw_group
                                               : rw_other;
    if (user_.uid != 0 && (st.st_mode & bits) != bits) {
        return no_permission(device, st.st_uid, st.st_gid, (st.st_mode & rw_group) == rw_group);
    }
    const auto held = holders(device);
    if (held.empty()) {
        return stale_lock(device);
    }
    std::string who;
    for (const auto& h : held) {
        who += (who.empty() ? "" : ", ") + holder_text(h.pid, h.name, h.lock_file);
    }
    return device + " is in use by " + who + ". " + std::string(k_again);
}

std::string SystemPortDiagnosis::missing(const std::string& device) const {
    return "There is no device " + device + "." +
           (is_adapter(device) ? " Check that the adapter is plugged in." : "") + "\n" +
           adapters_present();
}

// A /dev/ttyS node exists for every port the kernel could have; "type" 0 says no chip
// answered there.
std::string SystemPortDiagnosis::no_uart(const std::string& device) const {
    const std::string name = fs::path(device).filename().string();
    if (!name.starts_with("ttyS")) {
        return {};
    }
    const auto type = first_line(in_root("/sys/class/tty/" + name + "/type"));
    if (!type || trim(*type) != "0") {
        return {};
    }
    return device +
           " has no serial port behind it: this computer has no such port. Use a USB "
           "serial adapter; it shows in the port menu as /dev/ttyUSB... or "
           "/dev/ttyACM....\n" +
           adapters_present();
}

std::string SystemPortDiagnosis::adapters_present() const {
    const auto found = SystemSerialDevices(in_root("/dev")).list();
    if (found.empty()) {
        return "No USB serial adapter is plugged in.";
    }
    std::string out;
    for (const auto& d : found) {
        out += (out.empty() ? "" : ", ") + ("/dev/" + fs::path(d.path).filename().string()) +
               (d.by_id.empty() ? "" : " (" + d.by_id + ")");
    }
    return "Serial adapters present: " + out + ".";
}

std::string SystemPortDiagnosis::no_permission(const std::string& device, uid_t owner, gid_t group,
                                               bool group_may) const {
    const std::string start = "No permission to open " + device;
    if (!group_may) {
        const auto row = account_row(in_root("/etc/passwd"), owner);
        const std::string who = row.empty() ? "user " + num::dec(owner) : row[0];
        return start + ": only its owner " + who + " may open it.";
    }
    const auto row = account_row(in_root("/etc/group"), group);
    const std::string name = row.empty() ? num::dec(group) : row[0];
    const auto members = row.size() >= 4 ? split(row[3], ',') : std::vector<std::string>{};
    const bool listed = !user_.name.empty() &&
                        std::find(members.begin(), members.end(), user_.name) != members.end();
    if (listed) {
        return start + ": it is open to the group \"" + name + "\". You were added to that " +
               "group after you logged in: log out and in again (or restart the computer) so " +
               "that it counts.";
    }
    const std::string user = user_.name.empty() ? "$USER" : user_.name;
    return start + ": it is open to the group \"" + name + "\", and you are not a member. " +
           "Join the group, then log out and in again (a new group counts from the next " +
           "login):\n    sudo usermod -aG " + name + " " + user;
}

// The processes that have the device open, then one a lock file names (it may belong to
// another user, whose open files the system does not show).
std::vector<SystemPortDiagnosis::Holder>
SystemPortDiagnosis::holders(const std::string& device) const {
    struct stat wanted {};
    const bool known_device = ::stat(in_root(device).c_str(), &wanted) == 0;
    std::vector<Holder> out;
    for (const pid_t pid : processes()) {
        std::error_code ec;
        for (fs::directory_iterator it(in_root("/proc/" + num::dec(pid) + "/fd"), ec), end;
             known_device && !ec && it != end; it.increment(ec)) {
            if (same_file(it->path(), wanted)) {
                out.push_back({pid, process_name(pid), {}});
                break;
            }
        }
    }
    for (const auto& lock : lock_files(device)) {
        const auto line = first_line(in_root(lock));
        const auto pid = line ? num::parse_whole(trim(*line)) : std::nullopt;
        if (!pid || *pid == 0 || *pid == static_cast<std::uint64_t>(user_.pid)) {
            continue;
        }
        const auto p = static_cast<pid_t>(*pid);
        const bool known =
            std::any_of(out.begin(), out.end(), [&](const Holder& h) { return h.pid == p; });
        std::error_code ec;
        // A lock left by a process that has ended does not hold anything.
        if (!known && fs::exists(in_root("/proc/" + num::dec(p)), ec)) {
            out.push_back({p, process_name(p), lock});
        }
    }
    return out;
}

// Qt, minicom and cu write "LCK.." and the device's name below /dev, '/' as '_'; Qt names a
// device outside /dev (a simulator's link, /tmp/ttyTRX) by its whole path: LCK.._tmp_ttyTRX.
// Qt falls back to /tmp when the lock folders are not writable.
std::vector<std::string> SystemPortDiagnosis::lock_files(const std::string& device) {
    std::string name =
        device.starts_with("/dev/") ? fs::path(device).lexically_relative("/dev").string() : device;
    std::replace(name.begin(), name.end(), '/', '_');
    return {"/run/lock/LCK.." + name, "/var/lock/LCK.." + name, "/tmp/LCK.." + name};
}

// A lock file whose process has ended is taken over by the next program, unless the user may
// not remove it: another user's file in a sticky folder, or a folder the user may not write.
std::string SystemPortDiagnosis::stale_lock(const std::string& device) const {
    for (const auto& lock : lock_files(device)) {
        struct stat file {};
        struct stat folder {};
        if (::lstat(in_root(lock).c_str(), &file) != 0 ||
            ::stat(in_root(lock).parent_path().c_str(), &folder) != 0 || user_.uid == 0) {
            continue;
        }
        const bool may_write_folder = folder.st_uid == user_.uid ? (folder.st_mode & S_IWUSR) != 0
                                      : in_group(folder.st_gid)  ? (folder.st_mode & S_IWGRP) != 0
                                                                 : (folder.st_mode & S_IWOTH) != 0;
        const bool sticky_blocks = (folder.st_mode & S_ISVTX) != 0 && file.st_uid != user_.uid;
        if (may_write_folder && !sticky_blocks) {
            continue;
        }
        const auto row = account_row(in_root("/etc/passwd"), file.st_uid);
        const std::string owner = row.empty() ? "user " + num::dec(file.st_uid) : row[0];
        return device + " is locked by " + lock + ", left by a program that has ended. It " +
               "belongs to " + owner + ", so only an administrator may remove it:\n    sudo rm " +
               lock;
    }
    return {};
}

bool SystemPortDiagnosis::in_group(gid_t group) const {
    return std::find(user_.groups.begin(), user_.groups.end(), group) != user_.groups.end();
}

std::vector<pid_t> SystemPortDiagnosis::processes() const {
    std::vector<pid_t> out;
    std::error_code ec;
    for (fs::directory_iterator it(in_root("/proc"), ec), end; !ec && it != end; it.increment(ec)) {
        const auto pid = num::parse_whole(it->path().filename().string());
        if (pid && *pid != static_cast<std::uint64_t>(user_.pid)) {
            out.push_back(static_cast<pid_t>(*pid));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string SystemPortDiagnosis::process_name(pid_t pid) const {
    return std::string(trim(first_line(in_root("/proc/" + num::dec(pid) + "/comm")).value_or("")));
}

// Services that take USB serial adapters for themselves while they run.
std::vector<std::string> SystemPortDiagnosis::grabbers(const std::string& device) const {
    if (!is_adapter(device)) {
        return {};
    }
    bool modem_manager = false;
    bool brltty = false;
    for (const pid_t pid : processes()) {
        const std::string name = process_name(pid);
        modem_manager = modem_manager || name == "ModemManager";
        brltty = brltty || name == "brltty";
    }
    std::vector<std::string> out;
    if (modem_manager) {
        out.emplace_back("ModemManager is running: it tries every new USB serial adapter as a "
                         "modem and holds it for a while. Wait half a minute and try again; to "
                         "keep it away for good: sudo systemctl disable --now ModemManager");
    }
    if (brltty) {
        out.emplace_back("brltty (for braille displays) is running: it takes some USB serial "
                         "adapters (CH340, CP210x) for itself, so that their device disappears. "
                         "Unless a braille display is used here: sudo apt remove brltty");
    }
    return out;
}

} // namespace trx::platform
