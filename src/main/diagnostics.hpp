#pragma once

#include "ui/signal.hpp"

#include "forms/main_form.hpp"
#include "monitor/live_monitor.hpp"
#include "parafile/text_files.hpp"
#include "ui/picture_renderer.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <functional>
#include <string>

namespace trx::main {

// What the diagnostics menu does with the wire recorder; an empty hook leaves its entry
// disabled.
struct RecordingActions {
    std::function<void()> save_recent; // "Save last 10 minutes..."
    std::function<void()> start;       // "Start recording..."
    std::function<void()> stop;        // "Stop recording"
    std::function<bool()> recording;   // a recording is running
};

inline constexpr const char* k_diagnostics_menu = "diagnostics";
inline constexpr std::size_t k_statistics_panel = 2;

// The diagnostics menu that a click on panel 2 of the main status bar opens: the wire
// recorder's entries, and the export of the scan shown as CSV and of the picture as PNG.
class Diagnostics {
public:
    struct Deps {
        MainForm& form;
        const monitor::LiveMonitor& monitor;
        ui::Dialogs& dialogs;
        ui::Clock& clock;
        parafile::TextFiles& files;
        std::filesystem::path data_folder;
        ui::PictureRenderer* renderer; // none: no PNG export
    };

    explicit Diagnostics(Deps deps);

    void set_recording(RecordingActions actions);
    // "Scan quality...": opens its window; the entry stays disabled without it.
    void set_scan_quality(std::function<void()> open);
    // "History...": opens its window; the entry stays disabled without it.
    void set_history(std::function<void()> open);
    // Enabled states from the hooks and whether a recording runs; done each time the menu
    // is about to show and after each entry.
    void refresh_entries();

private:
    void on_chosen(const std::string& entry);
    void export_csv();
    void export_png();
    // The save dialog in the data folder with this default name; empty when cancelled.
    std::string ask_path(const std::string& title, const std::string& stem, const char* filter,
                         const char* ext);
    void write(const std::string& path, std::string_view content, const std::string& what);
    void tell(const std::string& text, const std::string& detail = {});

    Deps d_;
    RecordingActions recording_;
    std::function<void()> scan_quality_;
    std::function<void()> history_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::main
