#pragma once

#include "base/result.hpp"
#include "flashlib/flash_library.hpp"
#include "service/session.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace trx::service {

inline constexpr std::string_view k_bootstrap_string = "Quendel KG 14.03.1999";
// The scanner's time to reset after "F", and the loader's after the bootstrap string.
inline constexpr std::chrono::milliseconds k_reset_pause{500};
inline constexpr std::chrono::milliseconds k_bootstrap_pause{500};
inline constexpr std::string_view k_flash_baud_text = "57600";

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
};

// What the library steps gave, for the lines of the update log.
struct UpdateValues {
    std::string port_name;
    std::string baud_text{k_flash_baud_text};
    std::string target_name; // the name buffer up to its NUL, at most 32 characters
    double cpu_frequency = 0.0;
    std::int32_t file_size = 0;
    std::int16_t roms1 = 0;
    std::int32_t block = 0;
};

class UpdateObserver {
public:
    UpdateObserver() = default;
    UpdateObserver(const UpdateObserver&) = delete;
    UpdateObserver& operator=(const UpdateObserver&) = delete;
    UpdateObserver(UpdateObserver&&) = delete;
    UpdateObserver& operator=(UpdateObserver&&) = delete;
    virtual ~UpdateObserver() = default;

    // When the step's log line is due: reset and bootstrap before they act, the library
    // steps after they succeeded.
    virtual void step(UpdateStep step, const UpdateValues& values) = 0;
    // During erase and program.
    virtual void progress(const FlashProgress& /*p*/) {}
};

// The hex file read and checked as the update window checks it (the TRX81500's flash, a reset
// vector of its own), with the program's own reader:
// bad_input, naming the file, the line and what is wrong, for a file that will not do.
Result<Done> check_hex_file(const std::string& hex_path);

// The firmware update on a session: the hex file checked with the program's own reader before
// anything is sent, "F", the bootstrap string, the port handed to the flash library, its steps
// back to back, and CloseCom at the end of every run that reached the scanner. An interrupt
// takes effect between two steps (a library call cannot be cut short) and ends the run there,
// through CloseCom.
class FirmwareUpdate {
public:
    FirmwareUpdate(Session& session, FlashLibrary& library, UpdateObserver& observer)
        : session_(session), library_(library), observer_(observer) {}

    // bad_input for a hex file that will not do (nothing sent); flash with
    // failed_step() set for a step that failed; interrupted.
    Result<Done> run(const std::string& hex_path);

    // The step that failed or was interrupted; none after success or a refused file.
    [[nodiscard]] std::optional<UpdateStep> failed_step() const { return failed_; }
    [[nodiscard]] const UpdateValues& values() const { return values_; }

private:
    Result<Done> reach_loader();
    Result<Done> library_steps(const std::string& hex_path);
    // One library call; an exception counts as a failure with its text as the reason.
    bool call(const std::function<std::int32_t()>& fn);
    Error fail(UpdateStep step, ErrorKind kind, std::string reason);
    static void progress_thunk(void* context, const FlashProgress& p);

    Session& session_;
    FlashLibrary& library_;
    UpdateObserver& observer_;
    UpdateValues values_;
    std::optional<UpdateStep> failed_;
    bool reset_sent_ = false; // from here on the run ends through CloseCom
    std::string thrown_;
};

} // namespace trx::service
