#pragma once

#include "flashlib/flash_library.hpp"
#include "link/para_frame.hpp"
#include "session/result.hpp"
#include "ui/platform.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace trx::cli {

// The automatic backup written before every store: it gets the set as the scanner last
// reported it (its "W" reply, not the edited set). An error stops the store before anything
// is sent. Empty: no backup is written (the parameter-file writer is not in this build).
using BackupBeforeStore =
    std::function<session::Result<session::Done>(const link::ParaReply& reported)>;

// What the tool runs on; the front composes it.
struct CliServices {
    ui::SerialPort& port;
    ui::Clock& clock;
    ui::EventPump& pump;
    std::function<std::chrono::nanoseconds()> now;
    std::function<bool()> interrupted; // SIGINT or SIGTERM arrived
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal = false;
    const ui::SerialDevices* devices = nullptr;
    // The flash library of an update, made when one starts.
    std::function<std::unique_ptr<FlashLibrary>()> flash_library;
    BackupBeforeStore backup_before_store;
    // Why a port will not open; the port's own reason when null.
    const ui::PortDiagnosis* diagnosis = nullptr;
};

} // namespace trx::cli
