#pragma once

#include "qt/qt_net_port.hpp"
#include "qt/qt_serial_port.hpp"
#include "ui/platform.hpp"

#include <string>

namespace trx::ui::qt {

// The device port of both fronts: a serial device ("COM3", "/dev/ttyUSB0") or a network port
// ("socket://HOST:PORT", "rfc2217://HOST:PORT"), told apart by the name; the link, the
// recorder and the flash sequence see no difference.
class QtAnyPort final : public SerialPort {
public:
    QtAnyPort();

    void set_port_name(std::string name) override;
    [[nodiscard]] std::string port_name() const override { return name_; }
    OpenResult open() override;
    void open_later(std::function<void(OpenResult)> done) override;
    void close() override { active().close(); }
    [[nodiscard]] bool is_open() const override { return active().is_open(); }
    [[nodiscard]] bool write(std::string_view bytes) override { return active().write(bytes); }
    [[nodiscard]] std::size_t pending_output() const override { return active().pending_output(); }

private:
    [[nodiscard]] SerialPort& active() {
        return network_ ? static_cast<SerialPort&>(net_) : serial_;
    }
    [[nodiscard]] const SerialPort& active() const {
        return network_ ? static_cast<const SerialPort&>(net_) : serial_;
    }

    QtSerialPort serial_;
    QtNetPort net_;
    std::string name_;
    bool network_ = false; // of the port open now, or of the name while closed
    Connections connections_;
};

// The system's diagnosis knows serial devices only: a network port's reason is its own, a
// sentence about the connection, and stays as it is.
class NetworkAwareDiagnosis final : public PortDiagnosis {
public:
    explicit NetworkAwareDiagnosis(const PortDiagnosis& devices) : devices_(devices) {}
    [[nodiscard]] std::string explain(const std::string& port_name,
                                      const std::string& reason) const override;

private:
    const PortDiagnosis& devices_;
};

} // namespace trx::ui::qt
