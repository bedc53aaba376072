#include "main/program_port.hpp"

namespace trx::main {

ProgramPort::ProgramPort(ui::SerialPort& device, ui::Clock& clock)
    : device_(device), replay_(clock), active_(&device) {
    forward(device_);
    forward(replay_);
}

void ProgramPort::use_replay(std::filesystem::path capture) {
    replay_.set_file(std::move(capture));
    active_ = &replay_;
}

void ProgramPort::use_device() {
    active_ = &device_;
}

} // namespace trx::main
