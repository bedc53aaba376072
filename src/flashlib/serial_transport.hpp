#pragma once

#include "flashlib/transport.hpp"

#include <cstdint>
#include <memory>

namespace trx::flash {

// A POSIX serial device in raw mode: 8 data bits, no parity, one stop bit, no flow control,
// no character translation; DTR and RTS on. Opened exclusively.
class SerialTransport : public Transport {
public:
    // nullptr with the reason in `error` when the device cannot be opened or set up.
    static std::unique_ptr<SerialTransport> open(const std::string& device, std::int32_t baud,
                                                 std::string& error);
    ~SerialTransport() override;

    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] bool read(std::string& into, Duration timeout) override;
    void flush_input() override;
    [[nodiscard]] bool accepts_rate(std::uint32_t baud) const override;
    [[nodiscard]] bool set_rate(std::uint32_t baud) override;
    [[nodiscard]] Duration now() const override;
    [[nodiscard]] std::string failure() const override { return failure_; }

private:
    SerialTransport(int fd, std::string device) : fd_(fd), device_(std::move(device)) {}
    bool fail(const std::string& what);

    int fd_;
    std::string device_;
    std::string failure_;
};

} // namespace trx::flash
