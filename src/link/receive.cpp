#include "link/receive.hpp"

#include "link/frame.hpp"
#include "ui/fault.hpp"
#include "ui/numtext.hpp"

#include <stdexcept>
#include <string>
#include <utility>

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

Receiver::Receiver(ui::Timer& marker, std::function<void()> on_fault)
    : marker_(marker), on_fault_(std::move(on_fault)) {}

void Receiver::on_status(FrameHandler h, std::function<bool()> status_gate) {
    status_ = std::move(h);
    status_gate_ = std::move(status_gate);
}

void Receiver::on_frame(char letter, FrameHandler h) {
    switch (letter) {
    case 'W':
        w_ = std::move(h);
        return;
    case 'P':
        p_ = std::move(h);
        return;
    case 'L':
        l_ = std::move(h);
        return;
    case 'I':
        i_ = std::move(h);
        return;
    default:
        throw std::invalid_argument(std::string("no dispatch row for frame letter ") + letter);
    }
}

void Receiver::port_event(int code, std::string_view bytes) {
    if (code != k_ev_receive) {
        return;
    }
    for (char c : bytes) {
        // Each byte is its own receive event: a decoder's fault ends that event only.
        try {
            feed(static_cast<std::uint8_t>(c));
        } catch (const Fault&) {
            if (on_fault_) {
                on_fault_();
            }
        }
    }
}

void Receiver::feed(std::uint8_t c) {
    if (c == static_cast<std::uint8_t>(k_stx)) {
        state_.count = 0;
        state_.sum = 0;
        return;
    }
    if (c == static_cast<std::uint8_t>(k_etx)) {
        end_of_frame();
        return;
    }
    if (state_.count >= k_max_stored) {
        return;
    }
    state_.buffer[static_cast<std::size_t>(state_.count)] = c;
    ++state_.count;
    state_.sum += c;
}

void Receiver::end_of_frame() {
    const int n = state_.count;
    if (n < 2) {
        return;
    }
    const auto hi = static_cast<char>(state_.buffer[static_cast<std::size_t>(n - 2)]);
    const auto lo = static_cast<char>(state_.buffer[static_cast<std::size_t>(n - 1)]);
    state_.sum -= static_cast<unsigned char>(hi);
    state_.sum -= static_cast<unsigned char>(lo);
    const int dh = num::hex_digit(hi);
    const int dl = num::hex_digit(lo);
    state_.received_checksum = (dh < 0 ? 0 : dh) * 16 + (dl < 0 ? 0 : dl);
    if ((state_.sum & 0xFF) != (state_.received_checksum & 0xFF)) {
        return;
    }
    marker_.set_tag("online");
    dispatch();
}

void Receiver::dispatch() {
    const ReceivedFrame frame(state_);
    const FrameHandler* h = nullptr;
    switch (frame.letter()) {
    case 'S':
        if (status_gate_ && status_gate_()) {
            h = &status_;
        }
        break;
    case 'W':
        h = &w_;
        break;
    case 'P':
        h = &p_;
        break;
    case 'L':
        h = &l_;
        break;
    case 'I':
        h = &i_;
        break;
    default:
        break;
    }
    if (h != nullptr && *h) {
        (*h)(frame);
    }
}

} // namespace trx::link
