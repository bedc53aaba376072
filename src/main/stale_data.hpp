#pragma once

#include "forms/main_form.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace trx::main {

// The time of day on this computer, "14:02:31", as the status bar shows it.
[[nodiscard]] std::string local_time_of_day(std::chrono::system_clock::time_point t);

// Old data never looks live: once no status frame can reach the main window any more (port
// closed, link offline, replay at its end, update running), the tables, the picture and the
// status indicators keep their values but are marked old, with the time of the last frame,
// until the next status frame is shown.
class StaleData {
public:
    StaleData(MainForm& form, ui::Clock& clock);

    // A status frame reached the views: they are live again.
    void frame_shown();
    // No live data arrives any more; before the first frame there is nothing to mark.
    void went_away();

    [[nodiscard]] bool stale() const { return form_.stale_note.visible(); }
    // Whether `control` of the main window is one of the views marked old now.
    [[nodiscard]] bool marks(std::string_view control) const;

private:
    MainForm& form_;
    ui::Clock& clock_;
    std::optional<std::chrono::system_clock::time_point> last_frame_;
};

} // namespace trx::main
