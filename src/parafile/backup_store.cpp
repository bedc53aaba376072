#include "parafile/backup_store.hpp"

#include "base/numtext.hpp"

#include <algorithm>
#include <optional>
#include <utility>

namespace trx::parafile {

namespace fs = std::filesystem;

namespace {

// Two backups in one second are told apart by a number; more than this in one second is
// not a technician at work.
constexpr int k_max_same_second = 1000;
constexpr std::string_view k_time_shape = "ddddddddTddddddZ";

std::string_view reason_text(BackupReason r) {
    return r == BackupReason::before_store ? "-before-store" : "-before-update";
}

// Where a backup stands among the others: its time, then its number in that second. None
// for a name that is not a backup's, which is never touched.
struct Order {
    std::string time;
    int n = 1;
    auto operator<=>(const Order&) const = default;
};

std::optional<Order> order_of(std::string_view name) {
    if (name.size() < k_time_shape.size() || !name.ends_with(k_extension)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < k_time_shape.size(); ++i) {
        const bool digit = num::is_digit(name[i]);
        if (k_time_shape[i] == 'd' ? !digit : name[i] != k_time_shape[i]) {
            return std::nullopt;
        }
    }
    std::string_view rest = name.substr(k_time_shape.size());
    rest.remove_suffix(k_extension.size());
    for (BackupReason r : {BackupReason::before_store, BackupReason::before_update}) {
        if (!rest.starts_with(reason_text(r))) {
            continue;
        }
        rest.remove_prefix(reason_text(r).size());
        if (rest.empty()) {
            return Order{std::string(name.substr(0, k_time_shape.size())), 1};
        }
        // The program writes "-2" ... "-1000": "-02" is someone else's name.
        const bool written_form = rest.size() > 1 && rest[0] == '-' && rest[1] != '0';
        const auto n = written_form ? num::parse_whole(rest.substr(1)) : std::nullopt;
        if (!n || *n < 2 || *n > k_max_same_second) {
            return std::nullopt;
        }
        return Order{std::string(name.substr(0, k_time_shape.size())), static_cast<int>(*n)};
    }
    return std::nullopt;
}

} // namespace

BackupStore::BackupStore(TextFiles& files, fs::path data_folder)
    : files_(files), data_(std::move(data_folder)) {}

fs::path BackupStore::folder(std::uint32_t serial) const {
    return data_ / "backups" / num::dec(serial);
}

std::string BackupStore::backup_name(std::chrono::system_clock::time_point t, BackupReason reason,
                                     int n) {
    std::string time = utc_text(t);
    std::erase_if(time, [](char c) { return c == '-' || c == ':'; });
    std::string name = time + std::string(reason_text(reason));
    if (n > 1) {
        name += "-" + num::dec(n);
    }
    return name + std::string(k_extension);
}

Result<fs::path> BackupStore::write_firmware(std::uint32_t serial, std::string_view hex,
                                             std::chrono::system_clock::time_point now) {
    std::string time = utc_text(now);
    std::erase_if(time, [](char c) { return c == '-' || c == ':'; });
    const fs::path dir = folder(serial);
    for (int n = 1; n <= k_max_same_second; ++n) {
        const std::string name = time + "-firmware" + (n > 1 ? "-" + num::dec(n) : "") + ".h86";
        const Result<Created> w = files_.create(dir / name, hex);
        if (!w) {
            return w.error();
        }
        if (*w == Created::written) {
            return dir / name;
        }
    }
    return Error{ErrorKind::local_file, "every name for a firmware backup in this second is taken"};
}

Result<fs::path> BackupStore::write(ParaFile file, BackupReason reason,
                                    std::chrono::system_clock::time_point now) {
    file.saved = utc_text(now);
    const std::string text = format_para_file(file);
    const fs::path dir = folder(file.set.serial_number);
    for (int n = 1; n <= k_max_same_second; ++n) {
        const std::string name = backup_name(now, reason, n);
        const Result<Created> w = files_.create(dir / name, text);
        if (!w) {
            return w.error();
        }
        if (*w == Created::written) {
            prune(dir, name);
            if (on_written_) {
                on_written_(file, reason, dir / name);
            }
            return dir / name;
        }
    }
    return Error{ErrorKind::local_file, "every name for a backup in this second is taken"};
}

std::vector<fs::path> BackupStore::backups(std::uint32_t serial) const {
    return backups_in(folder(serial));
}

std::vector<fs::path> BackupStore::backups_in(const fs::path& dir) const {
    std::vector<std::pair<Order, std::string>> found;
    for (std::string& name : files_.names(dir)) {
        if (auto o = order_of(name)) {
            found.emplace_back(std::move(*o), std::move(name));
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a > b; });
    std::vector<fs::path> out;
    out.reserve(found.size());
    for (const auto& f : found) {
        out.push_back(dir / f.second);
    }
    return out;
}

// The one just written stays, even when the clock was set back behind older backups; of
// the others the newest k_kept - 1.
void BackupStore::prune(const fs::path& dir, const std::string& keep) {
    std::size_t kept = 1;
    for (const fs::path& p : backups_in(dir)) {
        if (p.filename() == keep) {
            continue;
        }
        if (kept < k_kept) {
            ++kept;
            continue;
        }
        (void)files_.remove(p);
    }
}

} // namespace trx::parafile
