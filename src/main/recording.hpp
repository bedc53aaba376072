#pragma once

#include "capture/recorder.hpp"
#include "ui/services.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace trx::main {

// Creates the file a capture goes to; nullptr and the reason when it cannot.
using OpenCapture =
    std::function<std::unique_ptr<capture::Sink>(const std::filesystem::path&, std::error_code&)>;

// The diagnostics menu's side of the wire recorder: asks where, starts and stops, and says
// in a box what failed. The recorder is the tap of the program's port.
class Recording final {
public:
    struct Services {
        ui::Clock& clock;
        ui::Dialogs& dialogs;
        ui::Files& files;
        const ui::SerialPort& port;
        OpenCapture open_capture; // null: files on the local disk
        Log* log = nullptr;       // hears a recording that ended by itself; silent when null
    };
    static constexpr const char* k_title = "Recording";
    static constexpr std::size_t k_stage_bytes = capture::Recorder::k_stage_bytes;

    explicit Recording(Services services);

    // Asks where, then writes the last ten minutes there on a thread of its own; a box when
    // that fails (at once, or at the check() after).
    void save_recent();
    // Asks where, then records to that file as the wire goes; a box when it cannot start.
    void start();
    void stop();
    [[nodiscard]] bool recording() const { return recorder_.recording(); }

    // Reports a recording that ended by itself (disk full, too slow) and the saves that
    // failed; runs on a timer tick, never inside the receive path.
    void check();
    // Waits until the writer has written what was queued and every save of the last ten
    // minutes is done, and reports them (for tests).
    void settle();
    [[nodiscard]] capture::Recorder& recorder() { return recorder_; }

private:
    std::string ask_file(const char* title);
    std::unique_ptr<capture::Sink> create(const std::filesystem::path& p, std::error_code& ec);
    void end_failed(const std::string& why);
    void report_saves(bool wait);
    void save_failed(const std::string& path, const std::error_code& ec);

    Services s_;
    capture::Recorder recorder_;
    std::filesystem::path live_file_;
};

} // namespace trx::main
