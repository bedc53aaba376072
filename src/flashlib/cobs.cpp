#include "flashlib/cobs.hpp"

namespace trx::flash {

std::string cobs_encode(std::span<const std::uint8_t> body) {
    std::string out;
    out.reserve(body.size() + body.size() / 254 + 2);
    std::size_t code_at = 0;
    out.push_back('\0');
    std::uint8_t code = 1;
    for (std::uint8_t b : body) {
        if (b != 0) {
            out.push_back(static_cast<char>(b));
            ++code;
        }
        if (b == 0 || code == 0xFF) {
            out[code_at] = static_cast<char>(code);
            code_at = out.size();
            out.push_back('\0');
            code = 1;
        }
    }
    out[code_at] = static_cast<char>(code);
    return out;
}

std::optional<std::vector<std::uint8_t>> cobs_decode(std::span<const std::uint8_t> encoded) {
    std::vector<std::uint8_t> out;
    out.reserve(encoded.size());
    std::size_t i = 0;
    while (i < encoded.size()) {
        const std::uint8_t code = encoded[i];
        if (code == 0 || i + code > encoded.size()) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < code; ++k) {
            if (encoded[i + k] == 0) {
                return std::nullopt;
            }
            out.push_back(encoded[i + k]);
        }
        i += code;
        if (code != 0xFF && i < encoded.size()) {
            out.push_back(0);
        }
    }
    return out;
}

DelimitedReader::Event DelimitedReader::feed(std::uint8_t byte) {
    if (byte != 0) {
        if (buffer_.size() >= limit_) {
            overlong_ = true;
            buffer_.clear();
        } else if (!overlong_) {
            buffer_.push_back(byte);
        }
        return Event::none;
    }
    if (overlong_) {
        clear();
        return Event::overlong;
    }
    if (buffer_.empty()) {
        return Event::none;
    }
    piece_.swap(buffer_);
    buffer_.clear();
    return Event::piece;
}

void DelimitedReader::clear() {
    buffer_.clear();
    overlong_ = false;
}

} // namespace trx::flash
