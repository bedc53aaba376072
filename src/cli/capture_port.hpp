#pragma once

#include "capture/writer.hpp"
#include "ui/services.hpp"
#include "ui/tapped_port.hpp"

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
class CapturePort final : public ui::TappedPort {
public:
    CapturePort(ui::SerialPort& device, const ui::Clock& clock,
                std::unique_ptr<capture::Writer> writer);
    ~CapturePort() override;
    CapturePort(const CapturePort&) = delete;
    CapturePort& operator=(const CapturePort&) = delete;
    CapturePort(CapturePort&&) = delete;
    CapturePort& operator=(CapturePort&&) = delete;

    void set_port_name(std::string name) override { device_.set_port_name(std::move(name)); }

    // Why the recording ended early (the disk full or too slow); empty while it runs well.
    [[nodiscard]] std::string failure() const { return writer_->failure(); }
    // Writes what is queued and syncs the file; failure() afterwards.
    std::string finish() { return writer_->stop(); }
    [[nodiscard]] const CaptureCounts& counts() const { return tap_.counts; }
    [[nodiscard]] std::uint64_t elapsed_us() const;

private:
    // Every crossing into the capture, counted.
    struct Tap final : ui::WireTap {
        explicit Tap(CapturePort& owner) : port(owner) {}
        void received(std::string_view bytes) override;
        void sent(std::string_view bytes) override;
        void write_refused(std::string_view bytes) override {
            add(capture::Kind::write_refused, bytes);
        }
        void opened(const std::string& name) override { add(capture::Kind::opened, name); }
        void closed() override { add(capture::Kind::closed, {}); }
        void lost(const std::string& why) override { add(capture::Kind::lost, why); }
        void add(capture::Kind kind, std::string_view data);

        CapturePort& port;
        CaptureCounts counts;
    };

    [[nodiscard]] ui::SerialPort& active() const override { return device_; }

    ui::SerialPort& device_;
    const ui::Clock& clock_;
    std::chrono::microseconds start_;
    std::unique_ptr<capture::Writer> writer_;
    Tap tap_{*this};
};

} // namespace trx::cli
