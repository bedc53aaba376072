#include "para/para_file_group.hpp"

#include <cctype>

#include "base/numtext.hpp"
#include "para/notice.hpp"
#include "para/shown_identity.hpp"

#include <utility>

namespace trx::para {

namespace {

constexpr const char* k_filter = "Parameter files (*.trxp)|*.trxp|all files (*.*)|*.*";
// A serial number's folder holds its sets and the firmware kept before updates.
constexpr const char* k_backups_filter =
    "Backups (*.trxp;*.h86)|*.trxp;*.h86|Parameter files (*.trxp)|*.trxp|Kept firmware "
    "(*.h86)|*.h86|all files (*.*)|*.*";
constexpr std::string_view k_firmware_extension = ".h86";

bool is_firmware_file(const std::string& path) {
    if (path.size() < k_firmware_extension.size()) {
        return false;
    }
    std::string tail = path.substr(path.size() - k_firmware_extension.size());
    for (char& ch : tail) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return tail == k_firmware_extension;
}
constexpr std::uint64_t k_max_serial = 0xFFFFFFFFU;

std::string count_text(std::size_t n) {
    return n == 1 ? std::string("1 parameter")
                  : num::dec(static_cast<std::int64_t>(n)) + " parameters";
}

} // namespace

ParaFileGroup::ParaFileGroup(Deps deps) : d_(deps) {
    ParaForm& f = d_.form;
    connections_ += f.cmd_save_file.click.connect([this] { save_click(); });
    connections_ += f.cmd_load_file.click.connect([this] { load_click(); });
    connections_ += f.cmd_compare_file.click.connect([this] { compare_click(); });
    connections_ += f.cmd_backups.click.connect([this] { backups_click(); });
    connections_ += d_.read.reply_shown.connect([&f](const link::ParaReply& /*r*/) {
        for (ui::Button* b :
             {&f.cmd_save_file, &f.cmd_load_file, &f.cmd_compare_file, &f.cmd_backups}) {
            b->set_enabled(true);
        }
    });
}

// ---------------------------------------------------------------- the buttons

void ParaFileGroup::save_click() {
    auto file = window_file();
    if (!file) {
        return;
    }
    const std::string date = parafile::utc_text(d_.clock.utc_now()).substr(0, 10);
    const std::string name =
        num::dec(file->set.serial_number) + "-" + date + std::string(parafile::k_extension);
    const std::string path =
        d_.dialogs.save_file(request("Save parameter file", start_folder() / name));
    if (path.empty()) {
        return;
    }
    file->saved = parafile::utc_text(d_.clock.utc_now());
    const Result<Done> w = d_.files.replace(path, parafile::format_para_file(*file));
    file_saved.raise({*file, path, w ? std::nullopt : std::optional<Error>(w.error())});
    if (!w) {
        refuse(d_.dialogs, "The parameter file was not saved: " + w.error().message + ".", path);
        return;
    }
    remember_folder(path);
    d_.form.statusbar.set_simple_text("Status:   Parameters saved to file");
}

void ParaFileGroup::load_click() {
    const std::string path = d_.dialogs.open_file(request("Load parameter file", start_folder()));
    if (!path.empty()) {
        load(path);
    }
}

void ParaFileGroup::compare_click() {
    const std::string path =
        d_.dialogs.open_file(request("Compare with parameter file", start_folder()));
    if (path.empty()) {
        return;
    }
    const auto file = read_file(path, "compared");
    if (!file) {
        return;
    }
    const auto diffs = parafile::differences(window_settings(), file->set, file->type);
    if (diffs.empty()) {
        d_.dialogs.message({"The window and the file hold the same parameters.", "Parameter",
                            ui::Icon::information, path});
        return;
    }
    d_.dialogs.message({"The window and the file differ in " + count_text(diffs.size()) + ".",
                        "Parameter", ui::Icon::information,
                        parafile::difference_lines(diffs, "window", "file")});
}

void ParaFileGroup::backups_click() {
    const auto& last = d_.read.last_reply();
    if (!last) {
        return;
    }
    const std::uint32_t serial = last->set.serial_number;
    if (d_.store.backups(serial).empty()) {
        d_.dialogs.message({"There is no backup of the scanner " + num::dec(serial) + " yet.",
                            "Parameter", ui::Icon::information, d_.store.folder(serial).string()});
        return;
    }
    ui::FileDialogRequest r =
        request("Backups of the scanner " + num::dec(serial), d_.store.folder(serial));
    r.filter = k_backups_filter;
    const std::string path = d_.dialogs.open_file(r);
    if (path.empty()) {
        return;
    }
    if (is_firmware_file(path)) {
        firmware_chosen.raise(path);
        return;
    }
    load(path);
}

// ---------------------------------------------------------------- reading and writing

void ParaFileGroup::load(const std::string& path) {
    const auto file = read_file(path, "loaded");
    if (!file) {
        return;
    }
    d_.read.show_settings(file->set);
    file_loaded.raise({*file, path, std::nullopt});
    remember_folder(path);
    d_.form.statusbar.set_simple_text("Status:   Parameters loaded from file");
}

std::optional<parafile::ParaFile> ParaFileGroup::read_file(const std::string& path,
                                                           std::string_view not_done) {
    const std::string refused = "The parameter file was not " + std::string(not_done) + ": ";
    const Result<std::string> loaded = d_.files.read(path, parafile::k_max_file_bytes);
    if (!loaded) {
        refuse(d_.dialogs, refused + loaded.error().message + ".", path);
        return std::nullopt;
    }
    parafile::ParaFileRead r = parafile::parse_para_file(*loaded, shown_type(d_.form));
    if (!r.file) {
        refuse(d_.dialogs, refused + r.refusal.text() + ".", path);
        return std::nullopt;
    }
    return std::move(r.file);
}

std::optional<parafile::ParaFile> ParaFileGroup::window_file() {
    const link::ScannerType type = shown_type(d_.form);
    if (type == link::ScannerType::unknown) {
        refuse(d_.dialogs, "The scanner's type is not known, so the window holds no set to "
                           "save. Nothing was saved.");
        return std::nullopt;
    }
    const auto serial = num::parse_whole(d_.form.seriennummer.text());
    if (!serial || *serial > k_max_serial) {
        refuse(d_.dialogs, "Serial No. must be a whole number from 0 to 4294967295. "
                           "Nothing was saved.");
        return std::nullopt;
    }
    parafile::ParaFile file{type, window_settings(), shown_index(d_.form), {}, {}};
    file.set.serial_number = static_cast<std::uint32_t>(*serial);
    file.set.version = d_.read.version_field().value_or(0);
    // What is saved must load again.
    if (const link::ParaFieldDef* f = parafile::first_unloadable(type, file.set)) {
        const std::string shown = link::display_value(*f, link::field_value(file.set, *f));
        refuse(d_.dialogs, "The field \"" + std::string(f->name) + "\" holds " + shown +
                               ", which is not a possible value. Nothing was saved.");
        return std::nullopt;
    }
    return file;
}

link::ParaSet ParaFileGroup::window_settings() const {
    link::ParaSet s;
    for (const link::ParaFieldDef& f : link::k_para_catalogue) {
        if (!f.read_only) {
            link::set_field_value(s, f, d_.send.window_value(f));
        }
    }
    return s;
}

ui::FileDialogRequest ParaFileGroup::request(std::string title,
                                             const std::filesystem::path& initial) const {
    return {std::move(title), k_filter, std::string(parafile::k_extension), initial.string()};
}

std::filesystem::path ParaFileGroup::start_folder() const {
    return last_folder_.empty() ? d_.store.data_folder() : last_folder_;
}

void ParaFileGroup::remember_folder(const std::string& path) {
    last_folder_ = std::filesystem::path(path).parent_path();
}

} // namespace trx::para
