#pragma once

#include "flashlib/flash_library.hpp"
#include "forms/sw_update_form.hpp"
#include "history/recorder.hpp"
#include "link/frame_writer.hpp"
#include "link/shared.hpp"
#include "service/firmware_keeper.hpp"
#include "service/firmware_update.hpp"
#include "service/time_left.hpp"
#include "ui/platform.hpp"
#include "ui/question.hpp"
#include "ui/services.hpp"
#include "ui/signal.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trx::sw_update {

inline constexpr const char* k_file_dialog_title = "Open Hexfile*";
inline constexpr const char* k_file_dialog_filter = "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*";
inline constexpr const char* k_file_dialog_ext = ".h86";

// What the update window works with besides its own controls.
struct SwUpdateContext {
    Shared& shared;
    // Writes "F" through the shared checksum accumulator, on the main serial port.
    link::FrameWriter& writer;
    // The main serial port: the bootstrap string, and closed for the library and reopened.
    ui::SerialPort& port;
    ui::Dialogs& dialogs;
    ui::EventPump& pump;
    // The program's flash library; read at each run, so a test may replace it.
    const std::shared_ptr<FlashLibrary>& library;
    // The program's other windows: blocked, with an hourglass, while the library runs.
    std::vector<ui::Window*> other_windows;
    // Why the main port will not open again; its own reason when null.
    const ui::PortDiagnosis* diagnosis = nullptr;
    // Hears the flash library's frames, retries and failures under trx.flash; the library
    // calls it from the thread that runs its step. Silent when null.
    Log* log = nullptr;
    // Asks before an image of the same or an older version goes in; null: the answer is No.
    ui::Questions* questions = nullptr;
    // The demo firmware's folder, where the hex file dialog opens while there is no last hex
    // file; empty when none came with the program.
    std::filesystem::path demo_folder{};
};

// The software update window: file choice, and the timed update sequence that resets the
// scanner, sends the bootstrap string, hands the port to the flash library and takes it back.
class SwUpdateWindow final : private service::UpdateObserver {
public:
    enum class State {
        ready,          // waiting for a Program click
        checking,       // the hex file is read before anything is sent
        resetting,      // "F" sent; sw_timer_1 runs
        bootstrap_sent, // main port closed; sw_timer_2 runs
        flashing,       // the library steps run; no window takes input
    };

    SwUpdateWindow(SwUpdateForm& form, SwUpdateContext context);
    ~SwUpdateWindow() override = default;
    SwUpdateWindow(const SwUpdateWindow&) = delete;
    SwUpdateWindow& operator=(const SwUpdateWindow&) = delete;
    SwUpdateWindow(SwUpdateWindow&&) = delete;
    SwUpdateWindow& operator=(SwUpdateWindow&&) = delete;

    [[nodiscard]] State state() const { return state_; }

    // A hex file chosen elsewhere (a kept firmware in "Backups..."): shown with its identity
    // in the window, which comes to the front, ready for Program. Ignored during a run.
    void offer_file(const std::string& path);

    // The main port could not be opened again at the end of a run, and the box "COM-Port
    // not available" was shown: the main window returns its toolbar to the closed state.
    ui::Signal<> main_port_lost;
    // Raised on every change of state: true from the Program click to the common end, while
    // the run holds the main port (the main window keeps its port button out of reach).
    ui::Signal<bool> holds_port;

    // Runs at a Program click once the hex file was checked, before anything is sent; when
    // it returns false (having said why), the update does not start. The automatic backup
    // of the scanner's set goes here.
    void set_before_update(std::function<bool()> hook) { before_update_ = std::move(hook); }
    // Where "Keep the current firmware first" keeps the flash; without it the box is refused.
    void set_keep_firmware(service::KeepFirmware keep) { keep_firmware_ = std::move(keep); }
    // The connected scanner's type and version, from its last "W" reply, for the image's
    // check; nothing is compared without it.
    void set_scanner_facts(std::function<service::ScannerFacts()> facts) {
        scanner_facts_ = std::move(facts);
    }
    // A run that reset the scanner has ended, whatever its outcome, and the main port is
    // back (or was reported lost).
    ui::Signal<> run_ended;
    // The same run as the service history keeps it; the scanner's serial number is not known
    // here and is left unset.
    ui::Signal<const history::UpdateRecord&> run_recorded;

private:
    void enter(State s);
    void block_windows(bool blocked);

    void on_activate();
    void on_open();
    void on_program();
    void on_verify();
    // Both buttons: the file checked, the scanner reset; a verify writes nothing.
    void start_run(bool verify);
    // The image's identity in the label beside its path.
    void show_identity();
    // Whether the image may go in: refused with a box, or asked about.
    bool image_accepted(const service::ImageCheck& check);
    // "Keep the current firmware first": where the flash goes, or a box saying why it cannot.
    std::optional<service::KeepFlash> firmware_keeper(const service::ScannerFacts& facts);
    void on_sw_timer_1();
    void on_sw_timer_2();

    std::optional<service::ImageCheck> check_file(const FlashLibrary* lib,
                                                  const service::ScannerFacts& facts);
    void common_end(FlashLibrary* lib);
    // The run's entry for the history, once "F" went out.
    void record_run(const FlashLibrary* lib);
    void reopen_main_port();

    // The update log as the sequence writes it.
    void log_line(const service::UpdateLogLine& line) override;
    void step_failed(service::UpdateStep step, const Error& error) override;
    void progress(const FlashProgress& p) override;
    void show_detail(const std::string& reason);
    void show_reason(const std::string& reason);

    SwUpdateForm& form_;
    SwUpdateContext ctx_;
    State state_ = State::ready;
    service::UpdateSequence sequence_;
    service::UpdateValues values_;
    // Last progress step posted to the window; touched only by the thread running the library.
    int last_progress_ = -1;
    std::string last_left_;
    std::function<bool()> before_update_;
    service::KeepFirmware keep_firmware_;
    std::function<service::ScannerFacts()> scanner_facts_;
    bool verify_run_ = false; // the run under way compares only
    bool reset_sent_ = false; // the run under way reached the scanner
    std::optional<service::ImageCheck> image_;
    service::KeepFlash keep_; // the run under way keeps the current firmware first
    std::chrono::steady_clock::time_point run_started_;
    // The time left in the phase under way; touched only by the thread running the library.
    service::TimeLeft time_left_;
    // Last, so the handlers are cut before the members they use go.
    ui::Connections connections_;
};

} // namespace trx::sw_update
