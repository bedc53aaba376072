#include "link/defs.hpp"

#include "ui/numtext.hpp"

namespace trx::link {

bool Defs::send_read_para() {
    return writer_.send('R');
}

bool Defs::send_read_index() {
    para_.create();
    para_statusbar_.set_simple_text("Status:");
    return writer_.send('L');
}

bool Defs::send_control(std::uint8_t flags) {
    const auto f = static_cast<std::uint8_t>(flags & (k_motor_off | k_laser_on));
    if (f == 0) {
        return false;
    }
    return writer_.send('C', num::hex_upper(f, 2));
}

} // namespace trx::link
