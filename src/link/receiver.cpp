#include "link/receiver.hpp"

#include "base/fault.hpp"
#include "base/numtext.hpp"
#include "link/frame.hpp"

#include <stdexcept>
#include <string>
#include <utility>

namespace trx::link {

Receiver::Receiver(ReceiveEvents events) : events_(std::move(events)) {}

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
        // Each byte is its own receive event: a decoder's fault ends that event only. The
        // fault is dropped for the user and still counted.
        try {
            feed(static_cast<std::uint8_t>(c));
        } catch (const Fault& f) {
            ++counters_.faults;
            counters_.last_fault = f.what();
            if (events_.fault) {
                events_.fault(counters_.last_fault);
            }
        }
    }
}

void Receiver::feed(std::uint8_t c) {
    ++counters_.bytes;
    if (c == static_cast<std::uint8_t>(k_stx)) {
        state_.count = 0;
        state_.sum = 0;
        overlong_ = false;
        judged_ = false;
        return;
    }
    // A judged frame is over: nothing up to the next STX can add to it or judge it again.
    if (judged_) {
        return;
    }
    if (c == static_cast<std::uint8_t>(k_etx)) {
        end_of_frame();
        return;
    }
    store(c);
}

void Receiver::store(std::uint8_t c) {
    if (state_.count >= k_max_stored) {
        if (!overlong_) {
            overlong_ = true;
            ++counters_.overlong_frames;
        }
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
    judged_ = true;
    const int dh = num::hex_digit(hi);
    const int dl = num::hex_digit(lo);
    state_.received_checksum = (dh < 0 ? 0 : dh) * 16 + (dl < 0 ? 0 : dl);
    if ((state_.sum & 0xFF) != (state_.received_checksum & 0xFF)) {
        ++counters_.bad_checksums;
        if (overlong_) {
            ++counters_.overlong_bad_checksums;
        }
        if (events_.bad_checksum) {
            events_.bad_checksum(ReceivedFrame(state_).body());
        }
        return;
    }
    ++counters_.good_frames;
    if (events_.good_frame) {
        events_.good_frame();
    }
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
