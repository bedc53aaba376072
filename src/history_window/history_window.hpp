#pragma once

#include "ui/signal.hpp"

#include "base/result.hpp"
#include "history/history_store.hpp"
#include "history_window/history_form.hpp"
#include "link/para_set.hpp"
#include "parafile/text_files.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The "History" window: one scanner's entries of the service history, newest first; the sets
// of two entries side by side, field by field; an entry's set loaded into the parameter window
// (nothing is sent); the time line saved as CSV. The entries are the service layer's; this
// only reads and shows them.
namespace trx::history_window {

class HistoryWindow {
public:
    using OpenStore = std::function<Result<std::unique_ptr<history::HistoryStore>>()>;
    // Shows the set in the parameter window without sending it; the reason when it could not.
    using LoadSet =
        std::function<std::optional<std::string>(link::ScannerType, const link::ParaSet&)>;

    struct Deps {
        HistoryForm& form;
        OpenStore open_store;
        std::function<std::optional<std::uint32_t>()> connected_serial;
        LoadSet load_set;
        const ui::Clock& clock;
        ui::Dialogs& dialogs;
        parafile::TextFiles& files;
        std::filesystem::path data_folder;
    };

    explicit HistoryWindow(Deps deps);

    // "History..." of the diagnostics menu and of the parameter window's file group: the
    // connected scanner's entries, or those of the number typed in before.
    void open();
    void show_click();
    void compare_click();
    void load_click();
    void export_click();

private:
    // The entries of the serial number in the box, newest first; none after the note said why.
    std::optional<std::vector<history::Entry>> listing();
    // The set an entry keeps (a store's: the set after it); none after a box said why.
    std::optional<history::TypedSet> entry_set(const std::string& id_text, const char* which);
    void show_entries(const std::vector<history::Entry>& entries);
    void refuse(const std::string& text, const std::string& detail = {});

    Deps d_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

// One line on what an entry holds beyond its kind: the file, the image, the reason it failed.
std::string entry_summary(const history::Entry& e);

} // namespace trx::history_window
