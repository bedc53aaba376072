#include "qt/qt_serial_port.hpp"

#include "base/port_names.hpp"

#include <QMetaObject>

#include <chrono>
#include <poll.h>
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

// A port whose device is gone counts as closed already, while its close waits.
bool QtSerialPort::is_open() const {
    return port_.isOpen() && !lost_pending_;
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

// A write is judged on its own: what an earlier one left behind is not held against it, and
// its own error is cleared once it has been reported as false.
bool QtSerialPort::write(std::string_view bytes) {
    if (!is_open()) {
        return false;
    }
    if (pending_output() + bytes.size() > k_transmit_buffer) {
        return false;
    }
    write_failed_ = false;
    const auto n = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (n == static_cast<qint64>(bytes.size())) {
        hand_to_device();
    }
    const bool ok = n == static_cast<qint64>(bytes.size()) && !write_failed_;
    write_failed_ = false;
    return ok;
}

// Only when the device can take bytes now: Qt counts a full buffer (EAGAIN) as a resource
// error, the same as a device that is gone. What does not fit now the port writes later.
void QtSerialPort::hand_to_device() {
#ifndef _WIN32
    pollfd p{static_cast<int>(port_.handle()), POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1) {
        return;
    }
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        device_gone("The device hung up.");
        return;
    }
#endif
    handing_over_ = true;
    port_.flush();
    handing_over_ = false;
}

// Whether the device is gone, rather than only busy.
bool QtSerialPort::hung_up() const {
#ifndef _WIN32
    pollfd p{static_cast<int>(port_.handle()), POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void QtSerialPort::device_gone(std::string why) {
    write_failed_ = true;
    if (lost_pending_ || !port_.isOpen()) {
        return;
    }
    lost_pending_ = true;
    // Not closed here: the port's own notifier may be on the stack, and a box shown by a
    // handler of `lost` must not open in the middle of a write.
    QMetaObject::invokeMethod(
        this,
        [this, why = std::move(why)] {
            lost_pending_ = false;
            if (!port_.isOpen()) {
                return; // closed on purpose meanwhile
            }
            port_.close();
            lost.raise(why);
        },
        Qt::QueuedConnection);
}

void QtSerialPort::on_ready_read() {
    const QByteArray data = port_.readAll();
    if (!data.isEmpty()) {
        received.raise(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    }
}

// An input or output error is cleared once taken in, so it sticks to no later write; a write
// or resource error fails the write under way. A device that hung up (USB adapter pulled,
// simulator ended) is lost: its notifier would otherwise report read errors without end. The
// errors of a failed open are open()'s to report.
void QtSerialPort::on_error(QSerialPort::SerialPortError error) {
    const bool io = error == QSerialPort::WriteError || error == QSerialPort::ReadError ||
                    error == QSerialPort::ResourceError;
    if (!io || !port_.isOpen()) {
        return;
    }
    const std::string text = port_.errorString().toStdString();
    port_.clearError();
    if (error != QSerialPort::ReadError) {
        write_failed_ = true;
    }
    // Handing bytes over, a full buffer counts as a resource error too; only a hang-up is a
    // loss there. Anywhere else a resource error means the device is gone.
    const bool gone = hung_up() || (error == QSerialPort::ResourceError && !handing_over_);
    if (gone) {
        device_gone(text);
    }
}

} // namespace trx::ui::qt
