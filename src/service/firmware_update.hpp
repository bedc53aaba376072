#pragma once

#include "base/result.hpp"
#include "flashlib/flash_library.hpp"
#include "history/entry.hpp"
#include "service/image_check.hpp"
#include "service/session.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trx::service {

// What the scanner's reset firmware waits for before it starts its bootstrap loader.
inline constexpr std::string_view k_bootstrap_string = "Quendel KG 14.03.1999";
// The scanner's time to reset after "F", and the loader's after the bootstrap string.
inline constexpr std::chrono::milliseconds k_reset_pause{500};
inline constexpr std::chrono::milliseconds k_bootstrap_pause{500};
inline constexpr std::string_view k_flash_baud_text = "57600";
inline constexpr std::int64_t k_flash_baud = 57600;
// The library gets 32 blanks and a NUL for the target's name; the room behind them keeps a
// library that writes a longer name from overrunning the buffer.
inline constexpr std::size_t k_name_length = 32;
inline constexpr std::size_t k_name_room = 256;
// The TRX81500's whole flash, as a kept copy of the firmware holds it.
inline constexpr std::uint32_t k_flash_bytes = 0x40000;

// Keeps the controller's flash as it was, read back in the update's own run before anything
// is erased: given it as Intel HEX, the file written.
using KeepFlash = std::function<Result<std::filesystem::path>(const std::string& hex)>;

// The steps of an update in their order: the two on the scanner link, then the library's.
enum class UpdateStep {
    reset,
    bootstrap,
    open_com,
    init_monitor,
    adjust_cpu_frequency,
    load_file,
    auto_roms1,
    get_hex_file_block,
    erase_flash,
    program_flash,
    // Instead of erase and program: the comparison that writes nothing, and the read-back.
    verify_flash,
    read_flash,
};

// What the library steps gave, for the lines of the update log. A value a step reports is
// taken only when the step succeeded; the target's name whatever InitMonitor returned.
struct UpdateValues {
    std::string port_name;
    std::string baud_text{k_flash_baud_text};
    std::string target_name; // the name buffer up to its NUL, at most 32 characters
    double cpu_frequency = 0.0;
    std::int32_t file_size = 0;
    std::int16_t roms1 = 0;
    std::int32_t block = 0;
};

// One line of the update log, without its line end. From the first red line on the log is
// red; the closing line ("Programming finished" or "Programming aborted") ends the log.
struct UpdateLogLine {
    std::string text;
    bool red = false;
    bool closing = false;
};

// What a front shows of an update. Everything but progress arrives on the thread that drives
// the sequence; progress on the thread that runs the library call.
class UpdateObserver {
public:
    UpdateObserver() = default;
    UpdateObserver(const UpdateObserver&) = delete;
    UpdateObserver& operator=(const UpdateObserver&) = delete;
    UpdateObserver(UpdateObserver&&) = delete;
    UpdateObserver& operator=(UpdateObserver&&) = delete;
    virtual ~UpdateObserver() = default;

    // The log's lines, in order: the same texts for the window and the command line.
    virtual void log_line(const UpdateLogLine& line) = 0;
    // When the step's log line is due: reset and bootstrap before they act, the library
    // steps after they succeeded.
    virtual void step(UpdateStep /*step*/, const UpdateValues& /*values*/) {}
    // The step that failed or was interrupted, and why when it is known.
    virtual void step_failed(UpdateStep /*step*/, const Error& /*error*/) {}
    // During erase and program (and verify and read).
    virtual void progress(const FlashProgress& /*p*/) {}
    // The image's identity and what the update may do with it, before anything is sent.
    virtual void image_checked(const ImageCheck& /*check*/) {}
    // The line's rate for the transfer, once the library raised it above 57600 or stepped it
    // down; told with the log line that names it.
    virtual void transfer_rate(std::int64_t /*baud*/) {}
};

// The update as one sequence of steps, driven by the update window from its two timers and by
// the command line's session back to back; it knows neither. It writes the log, calls each
// library function at most once and in order, and tells its observer.
class UpdateSequence {
public:
    // How a library call runs: the window hands it to a worker thread while the windows keep
    // painting; empty calls it in place.
    using Runner = std::function<void(const std::function<void()>&)>;

    explicit UpdateSequence(UpdateObserver& observer, Runner runner = {})
        : observer_(observer), runner_(std::move(runner)) {}

    // A new run: no failure yet, the log green.
    void begin();
    // The two steps on the scanner link: their lines, before they act.
    void reset_begun(const UpdateValues& values);
    void bootstrap_begun(const UpdateValues& values);
    // The library's steps back to back; the first that fails (or an interrupt between two)
    // ends them through fail(). The values are read by SetCom and filled by the others. With
    // `keep`, the whole flash is read back after AdjustCpuFrequency and kept before LoadFile;
    // a flash that cannot be read or kept ends the run with nothing erased.
    Result<Done> library_steps(FlashLibrary& lib, UpdateValues& values, const std::string& hex_path,
                               const std::function<bool()>& interrupted = {},
                               const KeepFlash& keep = {});
    // The image's identity line, first in the log; nothing else changes.
    void image_checked(const ImageCheck& check);
    // SetCom to LoadFile, then VerifyFlash: the sectors that differ (0: identical).
    Result<std::uint32_t> verify_steps(FlashLibrary& lib, UpdateValues& values,
                                       const std::string& hex_path,
                                       const std::function<bool()>& interrupted = {});
    // SetCom to AdjustCpuFrequency, then ReadFlash into `bytes` (its size is the length).
    Result<Done> read_steps(FlashLibrary& lib, UpdateValues& values, std::uint32_t address,
                            std::vector<std::uint8_t>& bytes,
                            const std::function<bool()>& interrupted = {});
    // A step failed, or was interrupted before it: its red line when it is a library step
    // that failed, then "Programming aborted". The reason, when empty, is what the call threw
    // or the library's last error.
    Error fail(UpdateStep step, ErrorKind kind, std::string reason, const UpdateValues& values,
               const FlashLibrary* lib = nullptr);
    // The common end of every run that reached the library: CloseCom (its outcome is not
    // logged), and the progress callback taken back.
    void close(FlashLibrary& lib);

    // The step that failed or was interrupted; none after success.
    [[nodiscard]] std::optional<UpdateStep> failed_step() const { return failed_; }
    // Why the run failed; none after success.
    [[nodiscard]] const std::optional<Error>& error() const { return error_; }
    // The red line of the failure, or "Programming aborted" when it has none; empty after
    // success.
    [[nodiscard]] const std::string& failure_line() const { return failure_line_; }
    // The line's rate the transfer of the last run ended at: 57600 unless the library raised it.
    [[nodiscard]] std::int64_t transfer_baud() const { return transfer_baud_; }

private:
    // One library call through the runner; an exception counts as a failure with its text as
    // the reason.
    bool call(const std::function<std::int32_t()>& fn);
    // The table's steps from SetCom up to `last`, each logged; false after a failure.
    Result<Done> steps_until(UpdateStep last, FlashLibrary& lib, UpdateValues& values,
                             const std::string& hex_path, const std::function<bool()>& interrupted,
                             UpdateStep first = UpdateStep::open_com);
    // SetCom to AdjustCpuFrequency, then the whole flash read back and handed to `keep`.
    Result<Done> keep_steps(FlashLibrary& lib, UpdateValues& values,
                            const std::function<bool()>& interrupted, const KeepFlash& keep);
    // One step beside the table: its call, its done line or the failure.
    Result<Done> extra_step(UpdateStep step, FlashLibrary& lib, const UpdateValues& values,
                            const std::function<std::int32_t()>& fn, const std::string& done_line,
                            const std::function<bool()>& interrupted);
    void line(std::string text, bool red = false, bool closing = false);
    static void progress_thunk(void* context, const FlashProgress& p);

    UpdateObserver& observer_;
    Runner runner_;
    std::optional<UpdateStep> failed_;
    std::optional<Error> error_;
    std::string_view aborted_text_; // the closing line of a failure
    std::string failure_line_;
    std::string thrown_;
    // The line's rate the library last reported, taken by the sequence after each step; 0
    // when none came since.
    std::atomic<std::int64_t> rate_{0};
    std::int64_t transfer_baud_ = k_flash_baud;
};

// The hex file read and checked as the update window checks it (the TRX81500's flash, a reset
// vector of its own), with the program's own reader: bad_input, naming the file, the line and
// what is wrong, for a file that will not do.
Result<Done> check_hex_file(const std::string& hex_path);

// Whether the port is given up right after the bootstrap string (a local port, whose close
// lets the bytes leave first) or only when the loader's pause is over: a device server drops
// the bytes it has not yet written to the device when its client goes, the bootstrap string
// among them.
bool closes_before_loader_pause(std::string_view port_name);

// What the command line lets through without asking (the window asks instead).
struct UpdateOptions {
    ScannerFacts scanner; // the last "W" reply, when the scanner gave one
    bool force = false;   // the other type, the same or an older version
    KeepFlash keep{};     // the current firmware kept first; empty: not kept
};

// What a verify found.
struct VerifyReport {
    std::uint32_t differing = 0;      // bit i: sector i of the TRX81500's flash differs
    std::vector<std::string> sectors; // "sector 3 (0x008000, 32 KiB)", one per bit
    [[nodiscard]] bool identical() const { return differing == 0; }
};

// The firmware update on a session: the hex file checked before anything is sent, "F", the
// bootstrap string, the port handed to the flash library, its steps back to back, and CloseCom
// at the end of every run that reached the scanner. An interrupt takes effect between two steps
// (a library call cannot be cut short) and ends the run there, through CloseCom.
class FirmwareUpdate {
public:
    FirmwareUpdate(Session& session, FlashLibrary& library, UpdateObserver& observer)
        : session_(session), library_(library), sequence_(observer) {}

    // bad_input for a hex file that will not do, or an image the options do not let through
    // (nothing sent, nothing logged); flash with failed_step() set for a step that failed;
    // interrupted.
    Result<Done> run(const std::string& hex_path, const UpdateOptions& options = {});
    // The same way to the loader, then the CRC of every sector the image touches against the
    // image; nothing erased or written, and GO starts the untouched firmware again.
    Result<VerifyReport> verify(const std::string& hex_path);
    // The flash from `address`, `length` bytes, read back. bad_input, before anything is sent,
    // for a range outside the TRX81500's flash.
    Result<std::vector<std::uint8_t>> read_back(std::uint32_t address, std::uint32_t length);

    // The image's identity as the last run or verify found it.
    [[nodiscard]] const ImageCheck& image_check() const { return image_; }
    // Sectors the last run found holding the image already.
    [[nodiscard]] std::int32_t skipped_sectors() const { return skipped_; }

    [[nodiscard]] std::optional<UpdateStep> failed_step() const { return sequence_.failed_step(); }
    [[nodiscard]] const std::string& failure_line() const { return sequence_.failure_line(); }
    [[nodiscard]] const UpdateValues& values() const { return values_; }

private:
    Result<Done> run_steps(const std::string& hex_path, const UpdateOptions& options);
    Result<Done> reach_loader();
    // One history entry for a run that reached the scanner (none for one refused before).
    void record(history::Kind kind, const std::string& path, const Result<Done>& outcome,
                std::chrono::nanoseconds started) const;
    // A new run on the session's port.
    void start();
    // The common end once "F" went out: CloseCom, and the port let go.
    void end_run();

    Session& session_;
    FlashLibrary& library_;
    UpdateSequence sequence_;
    UpdateValues values_;
    bool reset_sent_ = false; // from here on the run ends through CloseCom
    ImageCheck image_;
    std::int32_t skipped_ = 0;
};

} // namespace trx::service
