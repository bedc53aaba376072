#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trx::capture {

// Watches the received bytes for the scanner's parameter reply "W" and keeps the last whole
// one with a good checksum, as it came over the wire. A capture starts with it, so its status
// frames can be decoded however late the recording began. It looks only at bytes from an STX
// followed by "W" up to the next ETX: the status frames pass through it almost untouched.
class ReplyWatch {
public:
    // The longest frame the scanner's receive assembly takes.
    static constexpr std::size_t k_max_frame = 500;

    void feed(std::string_view bytes);
    // A new connection: the last one's reply may belong to another scanner.
    void clear();
    // The whole frame, STX to ETX; empty when none was seen on this connection.
    [[nodiscard]] const std::string& last() const { return last_; }

private:
    void end_of_frame();

    enum class State { between, letter, collecting };
    State state_ = State::between;
    std::string frame_;
    std::string last_;
};

} // namespace trx::capture
