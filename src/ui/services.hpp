#pragma once

#include "base/log.hpp"
#include "ui/controls.hpp"
#include "ui/signal.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace trx::ui {

// Result of opening a serial port: on failure the system's reason, in words a technician
// can act on.
struct OpenResult {
    bool ok = false;
    std::string reason;
};

// The serial line to the scanner: 57600 baud, 8N1, no flow control, DTR and RTS on.
class SerialPort {
public:
    static constexpr std::size_t k_transmit_buffer = 512;
    static constexpr int k_baud = 57600;

    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    SerialPort(SerialPort&&) = delete;
    SerialPort& operator=(SerialPort&&) = delete;
    virtual ~SerialPort() = default;

    // The process-wide port name: "COM1" ... "COM10" or a device path.
    virtual void set_port_name(std::string name) = 0;
    [[nodiscard]] virtual std::string port_name() const = 0;
    virtual OpenResult open() = 0;
    // An open that does not hold the window up where it can take long (a network port's
    // connect): `done` gets the outcome later on this thread. A port that opens at once calls
    // it at once. A close() meanwhile makes the outcome a failure.
    virtual void open_later(std::function<void(OpenResult)> done) { done(open()); }
    virtual void close() = 0;
    [[nodiscard]] virtual bool is_open() const = 0;
    // Writes all bytes or none: fails on a closed port, and when the transmit buffer
    // cannot take them all.
    [[nodiscard]] virtual bool write(std::string_view bytes) = 0;
    // Bytes accepted but not yet on the wire.
    [[nodiscard]] virtual std::size_t pending_output() const = 0;

    // Received bytes, in order, each batch exactly once.
    Signal<std::string_view> received;
    // The open device failed under us (adapter pulled); the port is closed.
    Signal<const std::string&> lost;
};

// A one-shot call the clock makes after a delay, for a wait that has no window and so no
// Timer model. Destroying or cancelling the alarm stops the call; it never outlives it.
class Alarm {
public:
    Alarm() = default;
    explicit Alarm(std::shared_ptr<bool> live) : live_(std::move(live)) {}
    Alarm(const Alarm&) = delete;
    Alarm& operator=(const Alarm&) = delete;
    Alarm(Alarm&& other) noexcept = default;
    Alarm& operator=(Alarm&& other) noexcept {
        cancel();
        live_ = std::move(other.live_);
        return *this;
    }
    ~Alarm() { cancel(); }
    void cancel() {
        if (live_) {
            *live_ = false;
            live_.reset();
        }
    }

private:
    std::shared_ptr<bool> live_;
};

// Drives the Timer models.
class Clock {
public:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    Clock(Clock&&) = delete;
    Clock& operator=(Clock&&) = delete;
    virtual ~Clock() = default;
    virtual void attach(Timer& timer) = 0;
    // Calls fn once, on the user-interface thread, after delay; unless the alarm has gone.
    [[nodiscard]] virtual Alarm call_after(std::chrono::milliseconds delay,
                                           std::function<void()> fn) = 0;
    // The time of day in UTC, for the time stamps of the files the program writes; the
    // test clock gives its virtual time instead.
    [[nodiscard]] virtual std::chrono::system_clock::time_point utc_now() const {
        return std::chrono::system_clock::now();
    }
    // Steady time for the time stamps of the wire, from an arbitrary origin, never going
    // backwards; the test clock gives its virtual time instead.
    [[nodiscard]] virtual std::chrono::microseconds steady_now() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

enum class Icon { none, critical, warning, information, question };

struct Message {
    std::string text;
    std::string title;
    Icon icon = Icon::none;
    std::string detail; // extra detail for the technician; empty when none
};

struct FileDialogRequest {
    std::string title;
    std::string filter;      // "Hexfiles (*.h86)|*.H86|all files (*.*)|*.*"
    std::string default_ext; // ".h86"
    std::string initial_path;
};

class Dialogs {
public:
    Dialogs() = default;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;
    Dialogs(Dialogs&&) = delete;
    Dialogs& operator=(Dialogs&&) = delete;
    virtual ~Dialogs() = default;
    // Modal box with an OK button; returns when it was answered.
    virtual void message(const Message& m) = 0;
    // File-open dialog; the full path chosen, empty when cancelled.
    virtual std::string open_file(const FileDialogRequest& r) = 0;
    // File-save dialog (initial_path: the folder and default name); the full path chosen,
    // empty when cancelled. Asking whether to replace an existing file is the dialog's job.
    virtual std::string save_file(const FileDialogRequest& r) = 0;
};

class EventPump {
public:
    EventPump() = default;
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;
    EventPump(EventPump&&) = delete;
    EventPump& operator=(EventPump&&) = delete;
    virtual ~EventPump() = default;
    // Handles pending events until done() holds. Returns false when it ended because the
    // program is shutting down instead.
    virtual bool pump_until(const std::function<bool()>& done) = 0;
    // Runs work to its end while the windows keep painting but take no input. work may run
    // on another thread: it must not touch models; it hands results back through post().
    virtual void run_blocking(const std::function<void()>& work) = 0;
    // Runs fn on the user-interface thread (soon, or at once when already there).
    virtual void post(std::function<void()> fn) = 0;
    // Ends every wait: the program is shutting down.
    virtual void quit() = 0;
};

class Files {
public:
    Files() = default;
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;
    Files(Files&&) = delete;
    Files& operator=(Files&&) = delete;
    virtual ~Files() = default;
    [[nodiscard]] virtual std::filesystem::path program_folder() const = 0;
    // The user's configuration folder for this program (may not exist yet).
    [[nodiscard]] virtual std::filesystem::path config_folder() const = 0;
    // Where the program keeps what it writes for the technician: parameter backups,
    // recordings (may not exist yet).
    [[nodiscard]] virtual std::filesystem::path data_folder() const = 0;
    [[nodiscard]] virtual bool exists(const std::filesystem::path& p) const = 0;
    [[nodiscard]] virtual bool folder_writable(const std::filesystem::path& folder) const = 0;
    // First line of a text file, without its line end; nullopt when it cannot be read.
    [[nodiscard]] virtual std::optional<std::string>
    read_first_line(const std::filesystem::path& p) const = 0;
    [[nodiscard]] virtual bool can_read(const std::filesystem::path& p) const = 0;
    // Writes a temporary file beside p, then renames it over p; creates p's folder.
    virtual bool replace_atomically(const std::filesystem::path& p, std::string_view content) = 0;
};

// Diagnostics by category: the interface lives in base, below every library; the seam offers
// it under its old names.
using LogLevel = trx::LogLevel;
using Log = trx::Log;
using SilentLog = trx::SilentLog;

} // namespace trx::ui
