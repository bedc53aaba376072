#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trx::flash {

// Consistent Overhead Byte Stuffing: the encoded form holds no 0x00, so 0x00 can delimit
// frames and a receiver that lost its place is back in step at the next delimiter.
std::string cobs_encode(std::span<const std::uint8_t> body);
// nullopt when `encoded` is not a valid encoding (holds 0x00, or a code points past its end).
std::optional<std::vector<std::uint8_t>> cobs_decode(std::span<const std::uint8_t> encoded);

// Cuts a byte stream into delimited pieces. Empty pieces (two delimiters in a row) are not
// reported; a piece longer than the limit is reported as overlong when its delimiter comes.
class DelimitedReader {
public:
    explicit DelimitedReader(std::size_t limit) : limit_(limit) {}

    enum class Event { none, piece, overlong };
    // One byte in; on `piece` the encoded bytes are in piece() until the next call.
    Event feed(std::uint8_t byte);
    [[nodiscard]] std::span<const std::uint8_t> piece() const { return piece_; }
    // Bytes held of an unfinished piece.
    [[nodiscard]] bool partial() const { return !buffer_.empty() || overlong_; }
    void clear();

private:
    std::size_t limit_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> piece_;
    bool overlong_ = false;
};

} // namespace trx::flash
