#pragma once

// The program's side of the wire for the simulator's tests: its own receive assembly, which
// checks every checksum, records the bodies of the good frames in order.
#include "link/frame.hpp"
#include "link/receiver.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace trx::sim::test {

struct Host {
    link::Receiver receiver;
    std::vector<std::string> frames; // letter, payload and checksum digits
    std::size_t bytes = 0;

    Host() {
        const auto record = [this](const link::ReceivedFrame& f) { frames.emplace_back(f.body()); };
        for (char letter : {'W', 'P', 'L', 'I'}) {
            receiver.on_frame(letter, record);
        }
        receiver.on_status(record, [] { return true; });
    }
    void take(std::string_view b) {
        bytes += b.size();
        receiver.port_event(link::k_ev_receive, b);
    }
    std::vector<std::string> drain() {
        std::vector<std::string> out;
        out.swap(frames);
        return out;
    }
};

// The payload of a frame body: without letter and checksum digits.
inline std::string payload_of(const std::string& body) {
    return body.size() < 3 ? std::string{} : body.substr(1, body.size() - 3);
}

} // namespace trx::sim::test
