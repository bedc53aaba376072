#include "qt/qt_any_port.hpp"

#include "netport/net_address.hpp"

namespace trx::ui::qt {

QtAnyPort::QtAnyPort() {
    for (SerialPort* p : {static_cast<SerialPort*>(&serial_), static_cast<SerialPort*>(&net_)}) {
        connections_ += p->received.connect([this](std::string_view b) { received.raise(b); });
        connections_ += p->lost.connect([this](const std::string& why) { lost.raise(why); });
    }
}

// A name changes the kind only while closed: the open port stays the one that was opened.
void QtAnyPort::set_port_name(std::string name) {
    if (!active().is_open()) {
        network_ = net::is_network_port(name);
    }
    serial_.set_port_name(name);
    net_.set_port_name(name);
    name_ = std::move(name);
}

OpenResult QtAnyPort::open() {
    network_ = net::is_network_port(name_);
    return active().open();
}

void QtAnyPort::open_later(std::function<void(OpenResult)> done) {
    network_ = net::is_network_port(name_);
    active().open_later(std::move(done));
}

std::string NetworkAwareDiagnosis::explain(const std::string& port_name,
                                           const std::string& reason) const {
    return net::is_network_port(port_name) ? reason : devices_.explain(port_name, reason);
}

} // namespace trx::ui::qt
