#include "cli/capture_port.hpp"

namespace trx::cli {

CapturePort::CapturePort(ui::SerialPort& device, const ui::Clock& clock,
                         std::unique_ptr<capture::Writer> writer)
    : device_(device), clock_(clock), start_(clock.steady_now()), writer_(std::move(writer)) {
    forward(device_);
    set_tap(&tap_);
}

CapturePort::~CapturePort() {
    (void)writer_->stop();
}

std::uint64_t CapturePort::elapsed_us() const {
    return static_cast<std::uint64_t>((clock_.steady_now() - start_).count());
}

void CapturePort::Tap::received(std::string_view bytes) {
    add(capture::Kind::received, bytes);
    counts.received += bytes.size();
}

void CapturePort::Tap::sent(std::string_view bytes) {
    add(capture::Kind::sent, bytes);
    counts.sent += bytes.size();
}

void CapturePort::Tap::add(capture::Kind kind, std::string_view data) {
    // A refusal ends the recording; the command sees it in failure().
    if (port.writer_->append(kind, port.elapsed_us(), data)) {
        ++counts.records;
    }
}

} // namespace trx::cli
