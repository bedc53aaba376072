#pragma once

#include "netport/net_line.hpp"
#include "ui/services.hpp"

#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace trx::ui::qt {

// A scanner behind a serial device server (socket://HOST:PORT, rfc2217://HOST:PORT) as a
// serial port like any other: received bytes handed on in order, at most 512 bytes waiting to
// be sent, a broken connection reported as `lost`.
class QtNetPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    // `later` bounds the opens in the background and every open of the same port after its
    // link was lost (the command line's --follow reopens in the foreground).
    explicit QtNetPort(net::NetTiming timing = {},
                       net::NetTiming later = net::NetTiming::reconnect(),
                       QObject* parent = nullptr);
    ~QtNetPort() override;
    QtNetPort(const QtNetPort&) = delete;
    QtNetPort& operator=(const QtNetPort&) = delete;
    QtNetPort(QtNetPort&&) = delete;
    QtNetPort& operator=(QtNetPort&&) = delete;

    void set_port_name(std::string name) override {
        after_loss_ = after_loss_ && name == name_;
        name_ = std::move(name);
    }
    [[nodiscard]] std::string port_name() const override { return name_; }
    OpenResult open() override;
    // The connect and the negotiation run on a thread of their own, within the port's bounds.
    void open_later(std::function<void(OpenResult)> done) override;
    void close() override;
    [[nodiscard]] bool is_open() const override { return line_ != nullptr && !lost_pending_; }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::size_t pending_output() const override;

private:
    void on_readable();
    // The connection broke: the port closes and `lost` is raised once, after the notification
    // that found out is over.
    void connection_gone(std::string why);
    void drop();
    void adopt(std::unique_ptr<net::NetLine> line);

    net::NetTiming timing_;
    net::NetTiming later_timing_;
    std::string name_;
    std::unique_ptr<net::NetLine> line_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool lost_pending_ = false;
    bool after_loss_ = false; // this port's link was lost and has not come back since
    // Which open_later is the current one: a close() or a newer one makes older outcomes void.
    std::uint64_t attempt_ = 0;
    // False once the port is gone: an outcome that arrives after it is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace trx::ui::qt
