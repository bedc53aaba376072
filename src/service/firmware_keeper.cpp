#include "service/firmware_keeper.hpp"

namespace trx::service {

KeepFirmware keep_firmware_in(parafile::BackupStore& store, const ui::Clock& clock) {
    return [&store, &clock](std::uint32_t serial,
                            const std::string& hex) -> Result<std::filesystem::path> {
        Result<std::filesystem::path> kept = store.write_firmware(serial, hex, clock.utc_now());
        if (!kept) {
            return Error{ErrorKind::local_file, "the scanner's firmware could not be kept in " +
                                                    store.folder(serial).string() + " (" +
                                                    kept.error().message + ")"};
        }
        return kept;
    };
}

} // namespace trx::service
