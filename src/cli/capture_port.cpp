#include "cli/capture_port.hpp"

namespace trx::cli {

CapturePort::CapturePort(ui::SerialPort& device, const ui::Clock& clock,
                         std::unique_ptr<capture::Writer> writer)
    : device_(device), clock_(clock), start_(clock.steady_now()), writer_(std::move(writer)) {
    connections_ += device_.received.connect([this](std::string_view bytes) {
        add(capture::Kind::received, bytes);
        counts_.received += bytes.size();
        received.raise(bytes);
    });
    connections_ += device_.lost.connect([this](const std::string& why) {
        add(capture::Kind::lost, why);
        lost.raise(why);
    });
}

CapturePort::~CapturePort() {
    (void)writer_->stop();
}

std::uint64_t CapturePort::elapsed_us() const {
    return static_cast<std::uint64_t>((clock_.steady_now() - start_).count());
}

void CapturePort::add(capture::Kind kind, std::string_view data) {
    // A refusal ends the recording; the command sees it in failure().
    if (writer_->append(kind, elapsed_us(), data)) {
        ++counts_.records;
    }
}

ui::OpenResult CapturePort::open() {
    ui::OpenResult r = device_.open();
    if (r.ok) {
        add(capture::Kind::opened, device_.port_name());
    }
    return r;
}

void CapturePort::close() {
    const bool was_open = device_.is_open();
    device_.close();
    if (was_open) {
        add(capture::Kind::closed, {});
    }
}

bool CapturePort::write(std::string_view bytes) {
    const bool ok = device_.write(bytes);
    add(ok ? capture::Kind::sent : capture::Kind::write_refused, bytes);
    if (ok) {
        counts_.sent += bytes.size();
    }
    return ok;
}

} // namespace trx::cli
