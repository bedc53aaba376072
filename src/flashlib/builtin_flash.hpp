#pragma once

#include "flashlib/flash_host.hpp"
#include "flashlib/flash_library.hpp"
#include "flashlib/hex_image.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace trx::flash {

// Opens the line named by SetCom: a serial device in the library, the simulated target in
// tests. nullptr with the reason in `error` when it cannot be opened.
using OpenTransport = std::function<std::unique_ptr<Transport>(
    const std::string& device, std::int32_t baud, std::string& error)>;

// The nine functions of our flash library on top of the protocol engine. The shared library
// `trxflash` exports one of these with a serial line; tests run it against the simulator.
class BuiltinFlash final : public FlashLibrary {
public:
    explicit BuiltinFlash(OpenTransport open) : open_(std::move(open)) {}

    std::int32_t SetCom(const char* port_name, std::int32_t baud) override;
    std::int32_t InitMonitor(char* target_name) override;
    std::int32_t AdjustCpuFrequency(double* hz) override;
    std::int32_t LoadFile(const char* path, std::int32_t* size) override;
    std::int32_t AutoROMS1(std::int16_t* flag) override;
    std::int32_t GetHexFileBlock(std::int32_t* block) override;
    std::int32_t EraseFlash(std::int32_t block) override;
    std::int32_t ProgramFlash() override;
    std::int32_t CloseCom() override;

    std::int32_t VerifyFlash(std::int32_t* differing) override;
    std::int32_t ReadFlash(std::uint32_t address, std::uint32_t length,
                           std::uint8_t* buffer) override;
    [[nodiscard]] std::int32_t skipped_sectors() const override;
    [[nodiscard]] bool can_verify() const override { return true; }
    [[nodiscard]] bool can_read() const override { return true; }

    void set_progress(ProgressFn fn, void* context) override;
    void set_log(FlashLogFn fn, void* context) override { log_.set(fn, context); }
    void set_max_baud(std::int32_t baud) override { max_baud_ = baud; }
    [[nodiscard]] std::string last_error() const override { return error_; }

    // The last session's figures, kept after CloseCom.
    [[nodiscard]] const SessionStats& stats() const { return stats_; }

private:
    struct Loaded {
        HexImage image;
        FlashLayout layout; // the flash it was checked against
        std::uint32_t reset_vector = 0;
    };

    std::int32_t fail(std::string why);
    std::int32_t done(const Outcome& o);
    [[nodiscard]] const FlashLayout& layout() const;
    [[nodiscard]] std::uint32_t reset_vector() const;
    [[nodiscard]] bool need_host();
    [[nodiscard]] bool need_image();
    void release();
    // The sectors of `mask` that must be erased: none when every one holds the image
    // already, else those that differ and the reset vector's. `skipped_` gets the others.
    Outcome sectors_to_erase(std::uint32_t mask, std::uint32_t& to_erase);

    OpenTransport open_;
    LogSink log_; // before transport_ and host_, which keep a reference to it
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<FlashHost> host_;
    std::optional<Loaded> loaded_;
    std::uint32_t erased_ = 0;
    std::uint32_t skipped_ = 0; // found holding the image: neither erased nor programmed
    bool verified_ = false;
    std::string error_;
    SessionStats stats_;
    std::int32_t max_baud_ = 0x7FFFFFFF;
    ProgressFn progress_ = nullptr;
    void* progress_context_ = nullptr;
};

} // namespace trx::flash
