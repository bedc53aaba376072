#pragma once

#include "base/result.hpp"
#include "capture/writer.hpp"
#include "flashlib/flash_library.hpp"
#include "history/history_store.hpp"
#include "history/recorder.hpp"
#include "link/para_frame.hpp"
#include "parafile/text_files.hpp"
#include "service/firmware_keeper.hpp"
#include "ui/platform.hpp"
#include "ui/port_listener.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

namespace trx::cli {

// The automatic backup written before every store: it gets the set as the scanner last
// reported it (its "W" reply, not the edited set) and its index (none when not read), and
// gives the file written. An error stops the store before anything is sent; so does an
// empty hook: a set is never stored without its backup.
using BackupBeforeStore = std::function<Result<std::filesystem::path>(
    const link::ParaReply& reported, std::optional<std::uint16_t> index)>;

// Creates the file a recording goes to; nullptr and the reason when it cannot.
using OpenCapture =
    std::function<std::unique_ptr<capture::Sink>(const std::filesystem::path&, std::error_code&)>;

// Makes the log that --log[=LEVEL] or -v asked for, from that level on.
using OpenLog = std::function<std::unique_ptr<ui::Log>(ui::LogLevel level)>;

// What the tool runs on; the front composes it.
struct CliServices {
    ui::SerialPort& port;
    ui::Clock& clock;
    ui::EventPump& pump;
    std::function<std::chrono::nanoseconds()> now;
    std::function<bool()> interrupted; // SIGINT or SIGTERM arrived
    // What the first Ctrl+C prints at once, even while a long step blocks; "" for nothing.
    std::function<void(std::string_view)> stop_notice{};
    std::ostream& out;
    std::ostream& err;
    // Parameter files: read whole and bounded, written atomically.
    parafile::TextFiles& files;
    bool err_is_terminal = false;
    const ui::SerialDevices* devices = nullptr;
    // Listens on the devices for --port auto; no search when null.
    ui::PortListener* listener = nullptr;
    // The flash library of an update, made when one starts.
    std::function<std::unique_ptr<FlashLibrary>()> flash_library;
    BackupBeforeStore backup_before_store;
    // flash --backup-firmware; empty: refused before anything is sent.
    service::KeepFirmware keep_firmware{};
    // Why a port will not open; the port's own reason when null.
    const ui::PortDiagnosis* diagnosis = nullptr;
    // record's file; null: a file on the local disk.
    OpenCapture open_capture{};
    // Diagnostics to hand on to what the command drives; null: none. Set by the tool from
    // open_log when the command line asks for a log and the front gave no log of its own.
    ui::Log* log = nullptr;
    OpenLog open_log{};
    // This program, started once per port by flash on several ports; empty: /proc/self/exe.
    std::string self_executable{};
    // Where the operations are recorded; none when null.
    history::Recorder* history = nullptr;
    // The history to list and show: the line's database when one is set, else the station's;
    // empty: the history commands say there is none.
    std::function<Result<std::unique_ptr<history::HistoryStore>>()> open_history{};
};

} // namespace trx::cli
