#pragma once

#include "ui/signal.hpp"

#include "forms/para_form.hpp"
#include "link/para_set.hpp"
#include "para/para_read.hpp"
#include "para/para_send.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/para_file.hpp"
#include "parafile/text_files.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trx::para {

// The "Parameter File" group: the window's set saved to a file, a file loaded into the
// window (checked whole against the catalogue and the connected scanner's type, the identity
// left as it is, nothing sent), a file compared with the window, and the scanner's backups
// opened for loading. Its buttons are enabled once a reply filled the window.
class ParaFileGroup {
public:
    struct Deps {
        ParaForm& form;
        ParaRead& read;
        const ParaSend& send;
        parafile::TextFiles& files;
        const parafile::BackupStore& store;
        const ui::Clock& clock;
        ui::Dialogs& dialogs;
    };
    explicit ParaFileGroup(Deps deps);

    void save_click();
    void load_click();
    void compare_click();
    void backups_click();

    // A file written or loaded (for the service history): the file's set and its path, and why
    // writing failed. A file refused on reading loaded nothing and is not told.
    struct FileEvent {
        const parafile::ParaFile& file;
        const std::string& path;
        std::optional<Error> failed;
    };
    ui::Signal<const FileEvent&> file_saved;
    ui::Signal<const FileEvent&> file_loaded;
    // A kept copy of the scanner's firmware was chosen in "Backups...": it goes to the update
    // window, not into this one.
    ui::Signal<const std::string&> firmware_chosen;

private:
    void load(const std::string& path);
    // The file's set, checked; none after a box said why (`not_done`: "not loaded", ...).
    std::optional<parafile::ParaFile> read_file(const std::string& path, std::string_view not_done);
    // The window's set as a store would send it; none after a box said why.
    std::optional<parafile::ParaFile> window_file();
    [[nodiscard]] link::ParaSet window_settings() const;
    [[nodiscard]] ui::FileDialogRequest request(std::string title,
                                                const std::filesystem::path& initial) const;
    [[nodiscard]] std::filesystem::path start_folder() const;
    void remember_folder(const std::string& path);

    Deps d_;
    std::filesystem::path last_folder_; // of the last file saved or loaded
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::para
