#include "link/received_frame.hpp"

#include "base/fault.hpp"
#include "link/frame.hpp"

#include <string>

namespace trx::link {

char ReceivedFrame::at(int pos) const {
    if (pos < 0 || pos >= k_receive_buffer) {
        throw Fault("read past the receive buffer at position " + std::to_string(pos));
    }
    return static_cast<char>(state_.buffer[static_cast<std::size_t>(pos)]);
}

std::string_view ReceivedFrame::chars(int pos, int len) const {
    if (len <= 0) {
        return {};
    }
    if (pos < 0 || len > k_receive_buffer || pos > k_receive_buffer - len) {
        throw Fault("read past the receive buffer at position " + std::to_string(pos));
    }
    return {reinterpret_cast<const char*>(state_.buffer.data()) + pos,
            static_cast<std::size_t>(len)};
}

std::uint32_t ReceivedFrame::hex(int pos, int len) const {
    return read_hex(chars(pos, len));
}

std::int16_t ReceivedFrame::hex_s16(int pos) const {
    return as_int16(hex(pos, 4));
}

std::int32_t ReceivedFrame::hex_u16(int pos) const {
    return as_uint16(hex(pos, 4));
}

} // namespace trx::link
