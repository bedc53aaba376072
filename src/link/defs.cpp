#include "link/defs.hpp"

#include "base/numtext.hpp"

namespace trx::link {

bool Defs::send_read_para() {
    return writer_.send('R');
}

bool Defs::send_read_index() {
    if (before_read_index_) {
        before_read_index_();
    }
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
