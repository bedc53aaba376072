#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/para_frame.hpp"
#include "para/para_read.hpp"
#include "parafile/backup_store.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <optional>
#include <string_view>

namespace trx::para {

// Keeps what the scanner reported before anything overwrites it: before every store and
// before every firmware update, the set of the last "W" reply (not the edited fields) goes
// into a backup file. After an update, the first reply is compared with the backup made
// before it, and the fields the firmware changed are reported.
class AutoBackup {
public:
    struct Deps {
        const ParaForm& form;
        ParaRead& read;
        parafile::BackupStore& store;
        const ui::Clock& clock;
        ui::Dialogs& dialogs;
        ui::EventPump& pump;
    };
    explicit AutoBackup(Deps deps);

    // Whether the store may go on: false, after a box said why, when the backup could not
    // be written. Before any reply there is nothing to keep.
    bool before_store();
    // The same before a firmware update; a scanner that never reported a set (one stuck in
    // its loader, say) is updated without a backup.
    bool before_update();
    // The update's run has ended: the next reply shows what the firmware kept.
    void update_ended();

private:
    // The file written; none after a box said what was not done and why.
    std::optional<std::filesystem::path> backup(parafile::BackupReason reason,
                                                std::string_view not_done);
    void on_reply(const link::ParaReply& r);
    void report_changes(const link::ParaReply& r);

    enum class Watch { idle, updating, awaiting_reply };

    Deps d_;
    Watch watch_ = Watch::idle;
    link::ParaReply before_update_;
    std::filesystem::path before_update_file_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
