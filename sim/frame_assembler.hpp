#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace trx::sim {

// The scanner's side of the receive assembly: collects a command from STX to ETX, checks
// its two checksum digits and hands on letter and payload. Bytes outside a frame, over-long
// frames and frames with a wrong checksum are dropped, as the firmware does.
class FrameAssembler {
public:
    static constexpr std::size_t k_max_body = 500;

    using Handler = std::function<void(char letter, std::string_view payload)>;
    explicit FrameAssembler(Handler on_frame) : on_frame_(std::move(on_frame)) {}

    void feed(char c);
    void reset();

private:
    void end_of_frame();

    Handler on_frame_;
    std::string body_;
    bool collecting_ = false;
    bool overflow_ = false;
};

} // namespace trx::sim
