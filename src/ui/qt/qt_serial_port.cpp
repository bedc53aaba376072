#include "ui/qt/qt_serial_port.hpp"

#include "base/port_names.hpp"

#include <chrono>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace trx::ui::qt {

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::on_ready_read);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::on_error);
}

QtSerialPort::~QtSerialPort() {
    port_.close();
}

std::string QtSerialPort::reason_for(QSerialPort::SerialPortError error, const std::string& device,
                                     const std::string& system_text) {
    std::string why;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        why = "The device " + device + " does not exist. Check the cable and the adapter.";
        break;
    case QSerialPort::PermissionError:
        why = "No permission to open " + device + ", or another program is using it.";
#ifndef _WIN32
        why += " On Linux, join the 'dialout' group (sudo usermod -aG dialout $USER) and log "
               "in again.";
#endif
        break;
    case QSerialPort::OpenError:
        why = "The device " + device + " is already open.";
        break;
    default:
        why = "The device " + device + " could not be opened.";
        break;
    }
    if (!system_text.empty()) {
        why += "\n(" + system_text + ")";
    }
    return why;
}

OpenResult QtSerialPort::open() {
    const std::string device = device_for_port_name(name_);
    port_.setPortName(QString::fromStdString(device));
    port_.setBaudRate(k_baud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto err = port_.error();
        const std::string text = port_.errorString().toStdString();
        port_.clearError();
        return {false, reason_for(err, device, text)};
    }
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    return {true, {}};
}

void QtSerialPort::close() {
    if (port_.isOpen()) {
        drain();
        port_.close();
    }
}

// The bootstrap string is written right before the update closes the port. Its bytes wait in
// Qt's buffer until the event loop runs, and then in the driver's queue; QSerialPort::close()
// would drop the first and restore the terminal settings it found at open under the second,
// so that the tail left at another speed. Both are emptied first, for no longer than the
// bytes need at 57600 baud and a margin: the bounded transmit buffer keeps this short.
void QtSerialPort::drain() {
    using Clock = std::chrono::steady_clock;
    const auto bytes = static_cast<std::int64_t>(pending_output());
    const auto deadline = Clock::now() + k_drain_margin +
                          std::chrono::milliseconds(bytes * 1000 / k_line_bytes_per_second);
    const auto left_ms = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
            .count();
    };
    while (port_.bytesToWrite() > 0 && left_ms() > 0) {
        if (!port_.waitForBytesWritten(static_cast<int>(left_ms()))) {
            break;
        }
    }
#ifndef _WIN32
    const int fd = static_cast<int>(port_.handle());
    int queued = 0;
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && left_ms() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
#endif
}

bool QtSerialPort::is_open() const {
    return port_.isOpen();
}

std::size_t QtSerialPort::pending_output() const {
    if (!port_.isOpen()) {
        return 0;
    }
    auto pending = static_cast<std::size_t>(port_.bytesToWrite());
#ifndef _WIN32
    // Bytes already handed to the driver but not yet on the wire count too.
    int queued = 0;
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0 && queued > 0) {
        pending += static_cast<std::size_t>(queued);
    }
#endif
    return pending;
}

bool QtSerialPort::write(std::string_view bytes) {
    if (!port_.isOpen()) {
        return false;
    }
    if (pending_output() + bytes.size() > k_transmit_buffer) {
        return false;
    }
    const auto n = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return n == static_cast<qint64>(bytes.size());
}

void QtSerialPort::on_ready_read() {
    const QByteArray data = port_.readAll();
    if (!data.isEmpty()) {
        received.raise(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    }
}

void QtSerialPort::on_error(QSerialPort::SerialPortError error) {
    // A device that vanished (USB adapter pulled) reports a resource error: close quietly,
    // so the link shows offline and the user can reopen once the adapter is back.
    if (error != QSerialPort::ResourceError || !port_.isOpen()) {
        return;
    }
    const std::string text = port_.errorString().toStdString();
    port_.clearError();
    port_.close();
    lost.raise(text);
}

} // namespace trx::ui::qt
