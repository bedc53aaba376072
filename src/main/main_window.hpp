#pragma once

#include "ui/signal.hpp"

#include "forms/main_form.hpp"
#include "forms/port_menu.hpp"
#include "forms/sw_update_form.hpp"
#include "link/shared.hpp"
#include "main/program_port.hpp"
#include "main/reconnect_setting.hpp"
#include "main/settings.hpp"
#include "service/scanner_search.hpp"
#include "ui/address_prompt.hpp"
#include "ui/choice_prompt.hpp"
#include "ui/platform.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace trx::main {

struct Services;

inline constexpr const char* k_caption_parameter = "Parameter        ";
inline constexpr const char* k_caption_software = "Software        ";
inline constexpr const char* k_caption_exit = "Exit             ";
inline constexpr const char* k_port_key = "comport";

// The main window's logic: start-up sequence, activation, the key chord, the toolbar, the
// choice and opening of the serial port, the settings file and shutdown.
class MainWindow {
public:
    // para: the parameter window; sw: the software update window (its hexfilename is the
    // settings file's line); port: the program's port (device or replay); log: hears the port
    // open, fail to open, close and get lost (trx.main); end: called last, when the program has
    // ended.
    MainWindow(MainForm& form, ui::Window& para, sw_update::SwUpdateForm& sw, Shared& shared,
               const Services& services, ProgramPort& port, Log& log, std::function<void()> end);

    // Runs when the main window is created: picture base, both grids, settings file.
    void start_up();

    // Opens the chosen port (starting the simulator first for "Simulator"); on failure the
    // box "COM-Port not available" with the system's reason, and nothing else changes.
    bool open_port();
    void close_port();

    // While the update holds the main port (from "F" to the common end), the port button takes
    // no click: the update closes and reopens the port behind the toolbar's back.
    void hold_port(bool held);

    // A network port by its address, as the "Network port..." dialog gives it (for a port
    // named at start): false, after a box with the reason, when the address cannot be used.
    bool choose_address(const std::string& address);

    // The technician opened a port from the toolbar.
    ui::Signal<> port_opened;
    // The port was closed: by the technician, or because its device or replay went away.
    ui::Signal<> port_closed;

    // While a lost port is waited for ("Reconnect automatically"), how often it is tried.
    static constexpr std::chrono::milliseconds k_retry_local{500};
    static constexpr std::chrono::milliseconds k_retry_network{2000};

private:
    // waiting: the port was lost and is reopened as soon as it can be; the toolbar offers
    // "Close" as while open.
    enum class PortState { closed, open, waiting };

    // A port as the menu offers it: "COM3", "/dev/ttyUSB0", "Simulator" or a capture to
    // replay, named by its file. A USB adapter also by its stable name under
    // /dev/serial/by-id, which survives a replug.
    struct PortChoice {
        std::string name;
        bool simulator = false;
        std::string by_id;
        std::string replay; // the capture's path
    };

    void connect_form();
    void place_picture();
    void read_settings();
    void refresh_port_menu();
    void enter(PortState s);
    void report_open_failure(const std::string& reason);
    void report_replay_failure(const std::string& why);
    void find_again_by_id();
    void on_port_lost(const std::string& why);
    [[nodiscard]] bool network_chosen() const;
    [[nodiscard]] bool reconnects() const;
    void show_reconnect_choice();
    void toggle_reconnect();
    void wait_for_port();
    void try_reopen();
    void retry_later();
    void reopened(const ui::OpenResult& r);
    void stop_waiting();
    void replay_finished();
    void log_open_failure(const std::string& reason);
    void choose_replay();
    void choose_network_port();
    void find_scanner();
    void take_found(const service::SearchCandidate& port);

    void on_activated();
    void on_key(ui::KeyPress& k);
    void on_button(const std::string& key);
    void on_port_button(const std::string& caption);
    void on_chosen(const std::string& entry_key);
    void shutdown(bool with_settings);

    MainForm& form_;
    ui::Window& para_;
    sw_update::SwUpdateForm& sw_;
    Shared& shared_;
    ProgramPort& port_;
    ui::Files& files_;
    ui::Dialogs& dialogs_;
    ui::SerialDevices* devices_;
    ui::SimulatorHost* simulator_;
    const ui::PortDiagnosis* diagnosis_;
    ui::AddressPrompt* address_prompt_;
    ui::EventPump& pump_;
    ui::PortListener* listener_;
    ui::ChoicePrompt* choice_prompt_;
    ui::Clock& clock_;
    ReconnectSetting reconnect_;
    ui::Alarm retry_;
    // An outcome of a reopening that comes back after the window is gone finds this false.
    std::shared_ptr<bool> reopen_live_ = std::make_shared<bool>(true);
    Log& log_;
    Settings settings_;
    std::function<void()> end_;
    PortChoice chosen_{"COM1", false, {}, {}};
    PortState state_ = PortState::closed;
    std::vector<ui::SerialDevice> listed_; // the devices the port menu shows
    bool ending_ = false;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::main
