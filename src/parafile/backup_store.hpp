#pragma once

#include "base/result.hpp"
#include "parafile/para_file.hpp"
#include "parafile/text_files.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trx::parafile {

enum class BackupReason { before_store, before_update };

// The automatic backups of the scanners' sets: <data folder>/backups/<serial number>/
// <UTC time>-before-store.trxp (or -before-update), the newest k_kept per serial number.
class BackupStore {
public:
    static constexpr std::size_t k_kept = 100;

    BackupStore(TextFiles& files, std::filesystem::path data_folder);

    // Told of every backup written (the service history links it).
    using Written = std::function<void(const ParaFile& file, BackupReason reason,
                                       const std::filesystem::path& path)>;
    void set_on_written(Written written) { on_written_ = std::move(written); }

    [[nodiscard]] const std::filesystem::path& data_folder() const { return data_; }
    [[nodiscard]] std::filesystem::path folder(std::uint32_t serial) const;

    // Writes the set, stamped with `now`, under a name no other backup has (a "-2", "-3" ...
    // behind the reason when two fall in one second), then removes the oldest backups of
    // that serial number beyond k_kept. The file written; local_file, and nothing left
    // behind, when the write fails.
    Result<std::filesystem::path> write(ParaFile file, BackupReason reason,
                                        std::chrono::system_clock::time_point now);

    // The controller's flash read back before an update, as Intel HEX: <UTC time>-firmware.h86
    // (-firmware-2.h86 ... in the same second) beside the sets; never pruned, never over
    // another file. The file written; local_file when the write fails.
    Result<std::filesystem::path> write_firmware(std::uint32_t serial, std::string_view hex,
                                                 std::chrono::system_clock::time_point now);

    // The backups of a serial number, newest first.
    [[nodiscard]] std::vector<std::filesystem::path> backups(std::uint32_t serial) const;

    // "20250301T093000Z-before-store.trxp"; n > 1 gives "...-before-store-2.trxp".
    static std::string backup_name(std::chrono::system_clock::time_point t, BackupReason reason,
                                   int n = 1);

private:
    [[nodiscard]] std::vector<std::filesystem::path>
    backups_in(const std::filesystem::path& dir) const;
    void prune(const std::filesystem::path& folder, const std::string& keep);

    TextFiles& files_;
    std::filesystem::path data_;
    Written on_written_;
};

} // namespace trx::parafile
