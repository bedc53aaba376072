#pragma once

#include "capture/writer.hpp"
#include "ui/services.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace trx::cli {

// What a recording holds so far, for the line at its end.
struct CaptureCounts {
    std::uint64_t records = 0; // after the header
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
};

// The port a recording session talks to: it passes everything to the device and appends every
// received batch, every write (and refusal) and the port's events to the capture, with the
// time since the recording started on the clock's steady time.
class CapturePort final : public ui::SerialPort {
public:
    CapturePort(ui::SerialPort& device, const ui::Clock& clock,
                std::unique_ptr<capture::Writer> writer);
    ~CapturePort() override;
    CapturePort(const CapturePort&) = delete;
    CapturePort& operator=(const CapturePort&) = delete;
    CapturePort(CapturePort&&) = delete;
    CapturePort& operator=(CapturePort&&) = delete;

    void set_port_name(std::string name) override { device_.set_port_name(std::move(name)); }
    [[nodiscard]] std::string port_name() const override { return device_.port_name(); }
    ui::OpenResult open() override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return device_.is_open(); }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override { return device_.pending_output(); }

    // Why the recording ended early (the disk full or too slow); empty while it runs well.
    [[nodiscard]] std::string failure() const { return writer_->failure(); }
    // Writes what is queued and syncs the file; failure() afterwards.
    std::string finish() { return writer_->stop(); }
    [[nodiscard]] const CaptureCounts& counts() const { return counts_; }
    [[nodiscard]] std::uint64_t elapsed_us() const;

private:
    void add(capture::Kind kind, std::string_view data);

    ui::SerialPort& device_;
    const ui::Clock& clock_;
    std::chrono::microseconds start_;
    std::unique_ptr<capture::Writer> writer_;
    CaptureCounts counts_;
    ui::Connections connections_;
};

} // namespace trx::cli
