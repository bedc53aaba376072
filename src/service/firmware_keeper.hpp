#pragma once

#include "base/result.hpp"
#include "parafile/backup_store.hpp"
#include "ui/services.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace trx::service {

// Keeps the controller's flash, read back as Intel HEX, beside the parameter backups of its
// serial number; gives the file written.
using KeepFirmware =
    std::function<Result<std::filesystem::path>(std::uint32_t serial, const std::string& hex)>;

// The program's own backup store, its files stamped with the clock's UTC time: the same for
// the update window and the command line. A file that cannot be written is an error of a
// local file naming the folder.
KeepFirmware keep_firmware_in(parafile::BackupStore& store, const ui::Clock& clock);

} // namespace trx::service
