#pragma once

#include "flashlib/builtin_flash.hpp"
#include "sim/flash/flash_memory.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace trx::flash::testing {

// Firmware data by start address.
using Chunks = std::map<std::uint32_t, std::vector<std::uint8_t>>;

// One Intel HEX record with a correct checksum, without its line end.
std::string intel_record(std::uint8_t type, std::uint16_t offset,
                         std::span<const std::uint8_t> data);
// Intel HEX text with linear address records and 16-byte data records.
std::string to_intel_hex(const Chunks& chunks);
// `count` bytes of random data at `start`, none of them 0xFF runs by accident.
Chunks random_chunk(std::uint32_t start, std::size_t count, std::uint32_t seed);
// Code-like bytes: instruction sequences from a small repertoire, now and then with another
// operand, as compiled firmware repeats its idioms. They compress.
std::vector<std::uint8_t> code_like(std::size_t count, std::uint32_t seed);
Chunks code_chunk(std::uint32_t start, std::size_t count, std::uint32_t seed);

// A hex file in a fresh temporary folder, removed with the object.
class TempHex {
public:
    explicit TempHex(const std::string& text);
    ~TempHex();
    TempHex(const TempHex&) = delete;
    TempHex& operator=(const TempHex&) = delete;
    TempHex(TempHex&&) = delete;
    TempHex& operator=(TempHex&&) = delete;
    [[nodiscard]] std::string path() const { return (dir_ / "fw.h86").string(); }

private:
    std::filesystem::path dir_;
};

// The nine calls in the order the update window makes them; CloseCom always.
struct UpdateRun {
    std::string failed_step; // empty when every step returned 1
    std::string error;       // the library's reason
    std::string name;        // the 32-character buffer after InitMonitor
    double hz = 0;
    std::int32_t size = 0;
    std::int16_t roms1 = 0;
    std::int32_t block = 0;
    // How long each call took, when run_update was given a clock.
    std::map<std::string, std::chrono::nanoseconds> took;
    [[nodiscard]] bool ok() const { return failed_step.empty(); }
};
using RunClock = std::function<std::chrono::nanoseconds()>;
UpdateRun run_update(FlashLibrary& lib, const std::string& hex_path, const char* port = "COM1",
                     const RunClock& clock = {});

// The simulated TRX81500 controller, its flash filled with random bytes, reached by the
// built-in library over a virtual line at 57600 baud.
struct SimRig {
    explicit SimRig(std::uint32_t seed, sim::TargetConfig config = {},
                    sim::LineConfig line_config = {}, FlashLayout layout = trx81500_layout());

    sim::FlashMemory memory;
    std::vector<std::uint8_t> before;
    sim::FlashTarget target;
    sim::LineConfig line_config;
    // The line of the last SetCom, kept after CloseCom so that its time can go on.
    std::unique_ptr<sim::VirtualLine> line;
    BuiltinFlash library;

    // The controller is reset and then left alone for longer than its loader waits: whether
    // it still sits in its loader (work it had begun is finished first).
    [[nodiscard]] bool stays_in_loader();
    // The 4 bytes at the target's reset vector are all 0xFF.
    [[nodiscard]] bool reset_vector_blank() const;
    // The update of `hex_path` through the nine calls, each timed on the line's clock.
    UpdateRun update(const std::string& hex_path);

    // Sectors in `mask` hold the image (gaps 0xFF); the others what they held before.
    [[nodiscard]] std::vector<std::uint8_t> expected(const Chunks& image, std::uint32_t mask) const;
    // Indexes of sectors outside `mask` whose content changed.
    [[nodiscard]] std::vector<std::size_t> changed_outside(std::uint32_t mask) const;
};

} // namespace trx::flash::testing
