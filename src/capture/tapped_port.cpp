#include "capture/tapped_port.hpp"

namespace trx::capture {

void TappedPort::forward(ui::SerialPort& from) {
    connections_ += from.received.connect([this](std::string_view bytes) {
        if (tap_ != nullptr) {
            tap_->received(bytes);
        }
        received.raise(bytes);
    });
    connections_ += from.lost.connect([this](const std::string& why) {
        if (tap_ != nullptr) {
            tap_->lost(why);
        }
        lost.raise(why);
    });
}

ui::OpenResult TappedPort::open() {
    ui::OpenResult r = active().open();
    if (r.ok && tap_ != nullptr) {
        tap_->opened(active().port_name());
    }
    return r;
}

void TappedPort::open_later(std::function<void(ui::OpenResult)> done) {
    ui::SerialPort& port = active();
    port.open_later([this, &port, done = std::move(done)](ui::OpenResult r) {
        if (r.ok && tap_ != nullptr) {
            tap_->opened(port.port_name());
        }
        done(std::move(r));
    });
}

void TappedPort::close() {
    const bool was_open = active().is_open();
    active().close();
    if (was_open && tap_ != nullptr) {
        tap_->closed();
    }
}

bool TappedPort::write(std::string_view bytes) {
    const bool ok = active().write(bytes);
    if (tap_ != nullptr) {
        ok ? tap_->sent(bytes) : tap_->write_refused(bytes);
    }
    return ok;
}

} // namespace trx::capture
