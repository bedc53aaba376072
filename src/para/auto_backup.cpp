#include "para/auto_backup.hpp"

#include "base/numtext.hpp"
#include "para/notice.hpp"
#include "para/shown_identity.hpp"
#include "parafile/para_file.hpp"

#include <string>
#include <utility>

namespace trx::para {

AutoBackup::AutoBackup(Deps deps) : d_(deps) {
    connections_ += d_.read.reply_shown.connect([this](const link::ParaReply& r) { on_reply(r); });
}

std::optional<std::filesystem::path> AutoBackup::backup(parafile::BackupReason reason,
                                                        std::string_view not_done) {
    const link::ParaReply& r = *d_.read.last_reply();
    Result<std::filesystem::path> b =
        d_.store.write({r.type, r.set, shown_index(d_.form), {}, {}}, reason, d_.clock.utc_now());
    if (!b) {
        refuse(d_.dialogs,
               std::string(not_done) +
                   ": the backup of the scanner's parameters could not be written (" +
                   b.error().message + ").",
               d_.store.folder(r.set.serial_number).string());
        return std::nullopt;
    }
    return std::move(b.value());
}

bool AutoBackup::before_store() {
    return !d_.read.last_reply() ||
           backup(parafile::BackupReason::before_store, "Nothing was stored").has_value();
}

bool AutoBackup::before_update() {
    watch_ = Watch::idle;
    if (!d_.read.last_reply()) {
        return true;
    }
    auto path =
        backup(parafile::BackupReason::before_update, "The firmware update was not started");
    if (!path) {
        return false;
    }
    before_update_ = *d_.read.last_reply();
    before_update_file_ = std::move(*path);
    watch_ = Watch::updating;
    return true;
}

void AutoBackup::update_ended() {
    if (watch_ == Watch::updating) {
        watch_ = Watch::awaiting_reply;
    }
}

void AutoBackup::on_reply(const link::ParaReply& r) {
    if (watch_ != Watch::awaiting_reply) {
        return;
    }
    watch_ = Watch::idle;
    report_changes(r);
}

// Fields both sets hold are compared; a type that changed is a change of its own.
void AutoBackup::report_changes(const link::ParaReply& r) {
    const link::ScannerType before = before_update_.type;
    const bool both_ya = before == link::ScannerType::ya && r.type == link::ScannerType::ya;
    const auto diffs = parafile::differences(
        before_update_.set, r.set, both_ya ? link::ScannerType::ya : link::ScannerType::za);
    std::string detail = parafile::difference_lines(diffs, "before", "now");
    std::size_t changed = diffs.size();
    if (before != r.type) {
        detail = "type: before " + std::string(parafile::type_text(before)) + ", now " +
                 std::string(parafile::type_text(r.type)) + (detail.empty() ? "" : "\n") + detail;
        ++changed;
    }
    if (changed == 0) {
        return;
    }
    std::string text =
        "The firmware update changed " +
        (changed == 1 ? std::string("1 parameter")
                      : num::dec(static_cast<std::int64_t>(changed)) + " parameters") +
        ". The set from before the update is in " + before_update_file_.string() +
        "; load it to restore them.";
    // Shown once this receive event is over, as the reply's own box is.
    d_.pump.post([this, text = std::move(text), detail = std::move(detail)] {
        d_.dialogs.message({text, "Parameter", ui::Icon::warning, detail});
    });
}

} // namespace trx::para
