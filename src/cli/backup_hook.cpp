#include "cli/backup_hook.hpp"

#include "cli/exit_status.hpp"

namespace trx::cli {

BackupBeforeStore backup_before_store(parafile::BackupStore& store, const ui::Clock& clock) {
    return [&store, &clock](const link::ParaReply& reported,
                            std::optional<std::uint16_t> index) -> Result<std::filesystem::path> {
        Result<std::filesystem::path> b =
            store.write({reported.type, reported.set, index, {}, {}},
                        parafile::BackupReason::before_store, clock.utc_now());
        if (!b) {
            return Error{ErrorKind::local_file,
                         "the backup of the scanner's parameters could not be written to " +
                             store.folder(reported.set.serial_number).string() + " (" +
                             b.error().message + ")"};
        }
        return b;
    };
}

} // namespace trx::cli
