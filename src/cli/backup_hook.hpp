#pragma once

#include "cli/cli_services.hpp"
#include "parafile/backup_store.hpp"
#include "ui/services.hpp"

namespace trx::cli {

// The automatic backup before a store, written by the program's own backup store: the same
// folder (<data folder>/backups/<serial number>/), names and pruning as the parameter
// window's. A backup that cannot be written is an error of a local file (exit status 7): the
// store does not start.
// The backups are stamped with the clock's UTC time.
BackupBeforeStore backup_before_store(parafile::BackupStore& store, const ui::Clock& clock);

} // namespace trx::cli
