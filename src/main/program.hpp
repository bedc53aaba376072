#pragma once

#include "ui/signal.hpp"

#include "ui/address_prompt.hpp"
#include "ui/choice_prompt.hpp"
#include "ui/port_listener.hpp"

#include "flashlib/flash_library.hpp"
#include "forms/main_form.hpp"
#include "forms/para_form.hpp"
#include "forms/sw_update_form.hpp"
#include "history/station_history.hpp"
#include "history_window/history_form.hpp"
#include "history_window/history_window.hpp"
#include "link/defs.hpp"
#include "link/frame_writer.hpp"
#include "link/receiver.hpp"
#include "link/shared.hpp"
#include "main/diagnostics.hpp"
#include "main/main_window.hpp"
#include "main/panel_note.hpp"
#include "main/port_output.hpp"
#include "main/program_port.hpp"
#include "main/recording.hpp"
#include "main/stale_data.hpp"
#include "monitor/link_statistics.hpp"
#include "monitor/live_monitor.hpp"
#include "monitor/plan_overlay.hpp"
#include "monitor/supervision.hpp"
#include "para/auto_backup.hpp"
#include "para/identity.hpp"
#include "para/para_file_group.hpp"
#include "para/para_read.hpp"
#include "para/para_send.hpp"
#include "para/para_window.hpp"
#include "parafile/backup_store.hpp"
#include "parafile/text_files.hpp"
#include "quality/quality_form.hpp"
#include "quality/quality_window.hpp"
#include "sw_update/sw_update_window.hpp"
#include "ui/plan_extras.hpp"
#include "ui/platform.hpp"
#include "ui/services.hpp"

#include <memory>
#include <string_view>

namespace trx::main {

// The platform services the program runs on: Qt's in the real program, fakes in tests.
struct Services {
    ui::SerialPort& port;
    ui::Clock& clock;
    ui::Dialogs& dialogs;
    ui::EventPump& pump;
    ui::Files& files;
    // Serial devices beyond COM1 ... COM10; none when null.
    ui::SerialDevices* devices = nullptr;
    // The bundled scanner simulator; no "Simulator" menu entry when null.
    ui::SimulatorHost* simulator = nullptr;
    // Diagnostics; silent when null.
    ui::Log* log = nullptr;
    // Parameter files and backups; the local file system when null.
    parafile::TextFiles* text_files = nullptr;
    // Why a port will not open; the port's own reason when null.
    const ui::PortDiagnosis* diagnosis = nullptr;
    // Draws the scan picture as a PNG file; no picture export when null.
    ui::PictureRenderer* picture_renderer = nullptr;
    // Creates capture files; files on the local disk when null.
    OpenCapture open_capture = nullptr;
    // Asks for a network port's address; no "Network port..." dialog when null.
    ui::AddressPrompt* address_prompt = nullptr;
    // Listens on the serial devices for "Find scanner"; no such entry when null.
    ui::PortListener* listener = nullptr;
    // Offers the ports a search found a scanner on; a box naming them when null.
    ui::ChoicePrompt* choice_prompt = nullptr;
};

// The whole program logic: three windows, the serial link, the timers, the shared values.
// Everything runs on one thread; nothing here knows Qt.
class Program {
public:
    explicit Program(Services services);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    Program(Program&&) = delete;
    Program& operator=(Program&&) = delete;

    // Program start: the main window is created, its start-up sequence runs, and it is
    // shown and activated.
    void start();
    [[nodiscard]] bool ended() const { return ended_; }

    [[nodiscard]] ui::Window* window(std::string_view name);
    [[nodiscard]] MainForm& main_form() { return main_; }
    [[nodiscard]] MainWindow& main_window() { return main_window_; }
    [[nodiscard]] para::ParaForm& para_form() { return para_; }
    [[nodiscard]] para::ParaWindow& para_window() { return para_window_; }
    [[nodiscard]] sw_update::SwUpdateForm& sw_update_form() { return sw_; }
    [[nodiscard]] sw_update::SwUpdateWindow& sw_update_window() { return sw_update_; }
    [[nodiscard]] Shared& shared() { return shared_; }
    // The services as given: the device's port, not the program's.
    [[nodiscard]] const Services& services() const { return given_; }
    [[nodiscard]] link::Receiver& receiver() { return receiver_; }
    [[nodiscard]] link::Defs& defs() { return defs_; }
    [[nodiscard]] link::FrameWriter& writer() { return writer_; }
    [[nodiscard]] ui::Log& log() { return log_; }
    [[nodiscard]] monitor::LiveMonitor& live_monitor() { return live_monitor_; }
    [[nodiscard]] Diagnostics& diagnostics() { return diagnostics_; }
    [[nodiscard]] monitor::Supervision& supervision() { return supervision_; }
    // The wire recorder: save the last ten minutes, start and stop a recording.
    [[nodiscard]] Recording& recording() { return recording_; }
    [[nodiscard]] ProgramPort& port() { return port_; }
    // Whether the main window's scan views show old data.
    [[nodiscard]] const StaleData& stale_data() const { return stale_data_; }
    [[nodiscard]] quality::QualityForm& quality_form() { return quality_form_; }
    [[nodiscard]] quality::QualityWindow& quality_window() { return quality_; }
    // The scan picture's extras, asked for in its context menu.
    [[nodiscard]] ui::PlanExtras& plan_extras() { return plan_extras_; }
    [[nodiscard]] history_window::HistoryForm& history_form() { return history_form_; }
    [[nodiscard]] history_window::HistoryWindow& history_window() { return history_window_; }
    // The service history this program records into.
    [[nodiscard]] history::StationHistory& history() { return *history_; }

    void set_flash_library(std::shared_ptr<FlashLibrary> lib) { flash_ = std::move(lib); }
    [[nodiscard]] const std::shared_ptr<FlashLibrary>& flash_library() const { return flash_; }

    // The last window closed: the program has ended.
    void end();
    ui::Signal<> ended_signal;

private:
    link::ReceiveEvents receive_events();
    void attach_timers(ui::Window& w);
    void on_decoder_fault(const std::string& what);
    void watch_for_stale_data();
    void record_history();
    void record_index_and_files();
    std::optional<std::string> load_from_history(link::ScannerType type, const link::ParaSet& set);

    Services given_;
    // Before services_, which hands it to every part in the device's place.
    ProgramPort port_;
    Services services_;
    Recording recording_;
    ui::SilentLog silent_;
    ui::Log& log_;
    Shared shared_;
    MainForm main_;
    para::ParaForm para_;
    para::ParaWindow para_window_;
    sw_update::SwUpdateForm sw_;
    PortOutput output_;
    link::FrameWriter writer_;
    link::Defs defs_;
    link::Receiver receiver_;
    MainWindow main_window_;
    monitor::LiveMonitor live_monitor_;
    StaleData stale_data_;
    std::shared_ptr<FlashLibrary> flash_;
    sw_update::SwUpdateWindow sw_update_;
    bool ended_ = false;
    monitor::Supervision supervision_;
    para::Identity identity_;
    para::ParaRead para_read_;
    para::ParaSend para_send_;
    parafile::TextFiles own_text_files_;
    parafile::TextFiles& text_files_;
    parafile::BackupStore backups_;
    // Opened at start, as the command line does; written on a thread of its own.
    std::unique_ptr<history::StationHistory> history_;
    bool seen_on_connection_ = false;
    // A store sent and not yet acknowledged: its entry waits for the "P".
    struct PendingStore {
        link::ScannerType type;
        link::ParaSet before;
        link::ParaSet after;
    };
    std::optional<PendingStore> pending_store_;
    void store_ended(const std::optional<Error>& failed);
    // An index sent and not yet saved: its entry waits for the "I".
    std::optional<std::uint16_t> pending_index_;
    void index_ended(const std::optional<Error>& failed);
    std::string history_trouble_shown_;
    para::AutoBackup auto_backup_;
    para::ParaFileGroup para_files_;
    monitor::LinkStatistics statistics_;
    Diagnostics diagnostics_;
    PanelNote panel_note_;
    quality::QualityForm quality_form_;
    quality::QualityWindow quality_;
    ui::PlanExtras plan_extras_;
    monitor::PlanOverlay plan_overlay_;
    history_window::HistoryForm history_form_;
    history_window::HistoryWindow history_window_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::main
