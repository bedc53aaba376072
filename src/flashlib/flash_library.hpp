#pragma once

#include "base/log.hpp"

#include <cstdint>
#include <string>

namespace trx {

// Progress of a long library step, for the progress bar. Phase rate: the line's rate changed
// for the transfer; `done` is the rate in baud.
struct FlashProgress {
    enum class Phase { erase, program, verify, rate, read };
    Phase phase = Phase::erase;
    std::int64_t done = 0;
    std::int64_t total = 0;
};

// The library's diagnostics: a plain C function, so that it crosses the shared library's C
// boundary as it is. `level` is a LogLevel's value: 0 debug (every frame on the line), 1 info,
// 2 warning (retries, fallbacks, failures).
using FlashLogFn = void (*)(void* context, int level, const char* text);

// The nine functions of the flash library, each returning 1 on success. A test may put a
// fake in the library's place.
class FlashLibrary {
public:
    FlashLibrary() = default;
    FlashLibrary(const FlashLibrary&) = delete;
    FlashLibrary& operator=(const FlashLibrary&) = delete;
    FlashLibrary(FlashLibrary&&) = delete;
    FlashLibrary& operator=(FlashLibrary&&) = delete;
    virtual ~FlashLibrary() = default;

    virtual std::int32_t SetCom(const char* port_name, std::int32_t baud) = 0;
    virtual std::int32_t InitMonitor(char* target_name) = 0; // 32 blanks + NUL on entry
    virtual std::int32_t AdjustCpuFrequency(double* hz) = 0;
    virtual std::int32_t LoadFile(const char* path, std::int32_t* size) = 0;
    virtual std::int32_t AutoROMS1(std::int16_t* flag) = 0; // 0 = false
    virtual std::int32_t GetHexFileBlock(std::int32_t* block) = 0;
    virtual std::int32_t EraseFlash(std::int32_t block) = 0;
    virtual std::int32_t ProgramFlash() = 0;
    virtual std::int32_t CloseCom() = 0;

    // Optional extras with defaults, so that a library without them still fits.
    // Called from the thread that runs the library steps.
    using ProgressFn = void (*)(void* context, const FlashProgress& p);
    virtual void set_progress(ProgressFn /*fn*/, void* /*context*/) {}
    // Where the library's diagnostics go; nowhere when fn is null. The library builds a text
    // only while a callback is set.
    virtual void set_log(FlashLogFn /*fn*/, void* /*context*/) {}
    // The highest rate the transfer may use (57600 turns the negotiation off); for the next
    // SetCom.
    virtual void set_max_baud(std::int32_t /*baud*/) {}
    // Why the last call failed, in words; empty when unknown.
    [[nodiscard]] virtual std::string last_error() const { return {}; }

    // Optional operations beside the nine, each between InitMonitor and CloseCom; a library
    // without them answers 0 and the caller says so.
    // The CRC of every sector the loaded image touches, compared with the image; nothing is
    // erased or written. `differing` gets bit i for sector i that differs.
    virtual std::int32_t VerifyFlash(std::int32_t* /*differing*/) { return 0; }
    // `length` bytes of the flash from `address` into `buffer`.
    virtual std::int32_t ReadFlash(std::uint32_t /*address*/, std::uint32_t /*length*/,
                                   std::uint8_t* /*buffer*/) {
        return 0;
    }
    // Sectors the last EraseFlash found holding the image already (neither erased nor
    // programmed); 0 when unknown.
    [[nodiscard]] virtual std::int32_t skipped_sectors() const { return 0; }
    // Whether the library has these operations at all.
    [[nodiscard]] virtual bool can_verify() const { return false; }
    [[nodiscard]] virtual bool can_read() const { return false; }
};

} // namespace trx
