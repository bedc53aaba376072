#pragma once

#include "ui/signal.hpp"

#include "parafile/text_files.hpp"
#include "quality/quality_form.hpp"
#include "service/scan_statistics.hpp"
#include "service/turn.hpp"
#include "ui/services.hpp"

#include <filesystem>

// The "Scan quality" window: how well each tag reads over the last N turns of what the main
// window shows, live or replayed, with small trends of the last ten minutes. The figures are
// the service layer's; this only shows them, at most four times a second.
namespace trx::quality {

class QualityWindow {
public:
    struct Deps {
        QualityForm& form;
        ui::Window& main;     // its key chord opens the window
        const ui::Label& typ; // the scanner type, for an empty table's reason
        ui::Clock& clock;     // arrival times of the turns, time stamps of the export
        ui::Dialogs& dialogs;
        parafile::TextFiles& files;
        std::filesystem::path data_folder;
    };

    explicit QualityWindow(Deps deps);

    // Ctrl+Alt+S in the main window, and the diagnostics menu's "Scan quality...".
    static constexpr char k_key = 'S';
    void open();

    // A turn the main window has just shown.
    void add(const service::Turn& turn);

    [[nodiscard]] const service::ScanStatistics& statistics() const { return stats_; }
    // How often the window's models were rewritten: at most four a second.
    [[nodiscard]] int refreshes() const { return refreshes_; }

private:
    void on_window_size();
    void reset();
    void export_csv();
    void refresh();
    void show_figures(const service::StatisticsSummary& s);
    void show_tags(const service::StatisticsSummary& s);
    void show_trends(const service::StatisticsSummary& s);
    [[nodiscard]] int picked_code() const;

    Deps d_;
    service::ScanStatistics stats_;
    service::Turn scratch_;
    bool dirty_ = true;
    int refreshes_ = 0;
    int trend_code_ = 0;       // picked in the table; 0: none
    int trend_shown_code_ = 0; // the code the read-rate trend shows
    std::int64_t trend_second_ = -1;
    ui::Connections connections_;
};

} // namespace trx::quality
