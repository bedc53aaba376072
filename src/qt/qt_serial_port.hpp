#pragma once

#include "ui/services.hpp"

#include <QObject>
#include <QSerialPort>

#include <chrono>
#include <cstdint>

namespace trx::ui::qt {

// The scanner's serial line on QSerialPort: 57600 8N1, no flow control, DTR and RTS on,
// received bytes handed on in order, at most 512 bytes waiting to be sent.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;
    QtSerialPort(QtSerialPort&&) = delete;
    QtSerialPort& operator=(QtSerialPort&&) = delete;

    void set_port_name(std::string name) override { name_ = std::move(name); }
    [[nodiscard]] std::string port_name() const override { return name_; }
    OpenResult open() override;
    void close() override;
    [[nodiscard]] bool is_open() const override;
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override;

    // The reason an open failed, in words a technician can act on.
    static std::string reason_for(QSerialPort::SerialPortError error, const std::string& device,
                                  const std::string& system_text);

private:
    static constexpr std::int64_t k_line_bytes_per_second = 5760; // 57600 baud, 8N1
    static constexpr std::chrono::milliseconds k_drain_margin{100};

    // Waits until what was written has left, within a bound.
    void drain();
    void on_ready_read();
    void on_error(QSerialPort::SerialPortError error);
    // Hands the written bytes to the device now, so that an error it reports judges the
    // write that made them.
    void hand_to_device();
    [[nodiscard]] bool hung_up() const;
    // The device went away: the port closes and `lost` is raised, once, when the port's own
    // notification that found out is over.
    void device_gone(std::string why);

    QSerialPort port_;
    std::string name_;
    bool write_failed_ = false; // an error was reported during the write under way
    bool handing_over_ = false; // hand_to_device() is under way
    bool lost_pending_ = false; // the device is gone; the port closes soon
};

} // namespace trx::ui::qt
