#include "main/program_port.hpp"

namespace trx::main {

ProgramPort::ProgramPort(ui::SerialPort& device, ui::Clock& clock)
    : device_(device), replay_(clock), active_(&device) {
    forward(device_);
    forward(replay_);
}

void ProgramPort::forward(ui::SerialPort& from) {
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

void ProgramPort::use_replay(std::filesystem::path capture) {
    replay_.set_file(std::move(capture));
    active_ = &replay_;
}

void ProgramPort::use_device() {
    active_ = &device_;
}

ui::OpenResult ProgramPort::open() {
    ui::OpenResult r = active_->open();
    if (r.ok && tap_ != nullptr) {
        tap_->opened(active_->port_name());
    }
    return r;
}

void ProgramPort::close() {
    const bool was_open = active_->is_open();
    active_->close();
    if (was_open && tap_ != nullptr) {
        tap_->closed();
    }
}

bool ProgramPort::write(std::string_view bytes) {
    const bool ok = active_->write(bytes);
    if (tap_ != nullptr) {
        ok ? tap_->sent(bytes) : tap_->write_refused(bytes);
    }
    return ok;
}

} // namespace trx::main
