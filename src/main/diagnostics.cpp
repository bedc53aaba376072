#include "main/diagnostics.hpp"

#include "parafile/para_file.hpp"

#include <algorithm>
#include <utility>

namespace trx::main {

namespace {

constexpr const char* k_title = "Diagnostics";
constexpr const char* k_save_recent = "save_recent";
constexpr const char* k_record_start = "record_start";
constexpr const char* k_record_stop = "record_stop";
constexpr const char* k_export_csv = "export_csv";
constexpr const char* k_export_png = "export_png";
constexpr const char* k_scan_quality = "scan_quality";
constexpr const char* k_history = "history";

std::vector<ui::StatusBar::MenuEntry> entries() {
    return {{k_save_recent, "Save last 10 minutes...", false, false},
            {k_record_start, "Start recording...", false, false},
            {k_record_stop, "Stop recording", false, false},
            {k_export_csv, "Export scan as CSV...", true, true},
            {k_export_png, "Save picture as PNG...", false, false},
            {k_scan_quality, "Scan quality...", true, true},
            {k_history, "History...", true, true}};
}

// "2025-03-01T09:30:00Z" as "20250301T093000Z": a time stamp that sorts and fits a file name.
std::string stamp(std::chrono::system_clock::time_point t) {
    std::string s = parafile::utc_text(t);
    std::erase_if(s, [](char c) { return c == '-' || c == ':'; });
    return s;
}

} // namespace

Diagnostics::Diagnostics(Deps deps) : d_(std::move(deps)) {
    ui::StatusBar& bar = d_.form.StatusBar1;
    bar.set_panel_menu(k_statistics_panel, k_diagnostics_menu, entries());
    refresh_entries();
    connections_ += bar.menu_opening.connect([this](const std::string& menu) {
        if (menu == k_diagnostics_menu) {
            refresh_entries();
        }
    });
    connections_ += bar.chosen.connect([this](const std::string& menu, const std::string& entry) {
        if (menu == k_diagnostics_menu) {
            on_chosen(entry);
            refresh_entries();
        }
    });
}

void Diagnostics::set_recording(RecordingActions actions) {
    recording_ = std::move(actions);
    refresh_entries();
}

void Diagnostics::set_scan_quality(std::function<void()> open) {
    scan_quality_ = std::move(open);
    refresh_entries();
}

void Diagnostics::set_history(std::function<void()> open) {
    history_ = std::move(open);
    refresh_entries();
}

void Diagnostics::refresh_entries() {
    ui::StatusBar& bar = d_.form.StatusBar1;
    const bool running = recording_.recording && recording_.recording();
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_save_recent,
                               static_cast<bool>(recording_.save_recent));
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_record_start, recording_.start && !running);
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_record_stop, recording_.stop && running);
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_export_png, d_.renderer != nullptr);
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_scan_quality,
                               static_cast<bool>(scan_quality_));
    bar.set_menu_entry_enabled(k_diagnostics_menu, k_history, static_cast<bool>(history_));
}

void Diagnostics::on_chosen(const std::string& entry) {
    if (entry == k_save_recent && recording_.save_recent) {
        recording_.save_recent();
    } else if (entry == k_record_start && recording_.start) {
        recording_.start();
    } else if (entry == k_record_stop && recording_.stop) {
        recording_.stop();
    } else if (entry == k_export_csv) {
        export_csv();
    } else if (entry == k_export_png) {
        export_png();
    } else if (entry == k_scan_quality && scan_quality_) {
        scan_quality_();
    } else if (entry == k_history && history_) {
        history_();
    }
}

// The stripes of the scan the tables show, one row each.
void Diagnostics::export_csv() {
    const auto& scan = d_.monitor.shown_scan();
    if (!scan) {
        tell("No scan has been shown yet, so there is nothing to export.");
        return;
    }
    // Taken now: a scan that arrives while the dialog is open does not change what is saved.
    const std::string csv = monitor::scan_csv(*scan);
    const std::string path =
        ask_path("Export scan as CSV", "scan", "CSV files (*.csv)|*.csv", ".csv");
    if (!path.empty()) {
        write(path, csv, "scan");
    }
}

// The picture as it is shown, at its size on the screen.
void Diagnostics::export_png() {
    if (d_.renderer == nullptr) {
        return;
    }
    const ui::PictureScene scene = ui::scene_of(d_.form.map, d_.form.Line1, d_.form.laser);
    const std::string path =
        ask_path("Save picture as PNG", "picture", "PNG images (*.png)|*.png", ".png");
    if (path.empty()) {
        return;
    }
    const auto png = d_.renderer->png(scene);
    if (!png) {
        tell("The picture was not saved: the image could not be made.", path);
        return;
    }
    write(path, *png, "picture");
}

std::string Diagnostics::ask_path(const std::string& title, const std::string& stem,
                                  const char* filter, const char* ext) {
    const auto initial = d_.data_folder / (stem + "-" + stamp(d_.clock.utc_now()) + ext);
    return d_.dialogs.save_file({title, filter, ext, initial.string()});
}

void Diagnostics::write(const std::string& path, std::string_view content,
                        const std::string& what) {
    const Result<Done> w = d_.files.replace(path, content);
    if (!w) {
        tell("The " + what + " was not saved: " + w.error().message + ".", path);
    }
}

void Diagnostics::tell(const std::string& text, const std::string& detail) {
    d_.dialogs.message({text, k_title, ui::Icon::warning, detail});
}

} // namespace trx::main
