#include "qt/qt_net_port.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <thread>

namespace trx::ui::qt {

namespace {

constexpr std::chrono::milliseconds k_drain_bound{300};

std::string sentence(std::string text) {
    return text.ends_with('.') ? text : text + ".";
}

} // namespace

QtNetPort::QtNetPort(net::NetTiming timing, net::NetTiming later, QObject* parent)
    : QObject(parent), timing_(timing), later_timing_(later) {}

QtNetPort::~QtNetPort() {
    *alive_ = false;
    drop();
}

OpenResult QtNetPort::open() {
    if (line_) {
        return {true, {}};
    }
    const auto address = net::parse_net_address(name_);
    if (!address) {
        return {false, sentence("Not a network address: " + address.error().message)};
    }
    auto line = net::NetLine::open(*address, static_cast<std::uint32_t>(k_baud),
                                   after_loss_ ? later_timing_ : timing_);
    if (!line) {
        return {false, sentence(line.error().message)};
    }
    adopt(std::move(line.value()));
    return {true, {}};
}

void QtNetPort::adopt(std::unique_ptr<net::NetLine> line) {
    line_ = std::move(line);
    lost_pending_ = false;
    after_loss_ = false;
    notifier_ = std::make_unique<QSocketNotifier>(line_->fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QtNetPort::on_readable);
    // Bytes that came while the options were negotiated wait in the line; they go out as soon
    // as the event loop runs, like any others.
    QMetaObject::invokeMethod(this, &QtNetPort::on_readable, Qt::QueuedConnection);
}

// The thread keeps only what it was given; its outcome comes back through the application
// object, which outlives the port, and finds the port through `alive`.
void QtNetPort::open_later(std::function<void(OpenResult)> done) {
    if (line_) {
        done({true, {}});
        return;
    }
    const auto address = net::parse_net_address(name_);
    if (!address) {
        done({false, sentence("Not a network address: " + address.error().message)});
        return;
    }
    const std::uint64_t attempt = ++attempt_;
    std::weak_ptr<bool> alive = alive_;
    std::thread([this, alive, attempt, a = *address, timing = later_timing_,
                 done = std::move(done)]() mutable {
        auto line = net::NetLine::open(a, static_cast<std::uint32_t>(k_baud), timing);
        auto back = [this, alive, attempt, line = std::make_shared<decltype(line)>(std::move(line)),
                     done = std::move(done)] {
            const auto live = alive.lock();
            if (!live || !*live) {
                return; // the port is gone, and whoever asked with it
            }
            if (attempt != attempt_ || line_) {
                done({false, "The open was cancelled."});
                return;
            }
            if (!*line) {
                done({false, sentence(line->error().message)});
                return;
            }
            adopt(std::move(line->value()));
            done({true, {}});
        };
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(back),
                                  Qt::QueuedConnection);
    }).detach();
}

void QtNetPort::drop() {
    notifier_.reset();
    line_.reset();
}

// The last bytes (the bootstrap string) leave before the socket closes: the kernel sends what
// it holds after close(), and the wait here covers what it has not taken yet.
void QtNetPort::close() {
    ++attempt_;
    if (!line_) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + k_drain_bound;
    while (line_->unsent() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    drop();
    lost_pending_ = false;
}

bool QtNetPort::write(std::string_view bytes) {
    if (!is_open() || pending_output() + bytes.size() > k_transmit_buffer) {
        return false;
    }
    if (!line_->write(bytes)) {
        connection_gone(line_->failure());
        return false;
    }
    return true;
}

std::size_t QtNetPort::pending_output() const {
    return line_ ? line_->unsent() : 0;
}

void QtNetPort::on_readable() {
    if (!is_open()) {
        return;
    }
    std::string data;
    const bool alive = line_->read_available(data);
    if (!data.empty()) {
        received.raise(data);
    }
    if (!alive && line_) {
        connection_gone(line_->failure());
    }
}

void QtNetPort::connection_gone(std::string why) {
    if (lost_pending_ || !line_) {
        return;
    }
    lost_pending_ = true;
    notifier_->setEnabled(false);
    QMetaObject::invokeMethod(
        this,
        [this, why = std::move(why)] {
            if (!lost_pending_ || !line_) {
                return; // closed on purpose meanwhile
            }
            drop();
            lost_pending_ = false;
            after_loss_ = true;
            lost.raise(why);
        },
        Qt::QueuedConnection);
}

} // namespace trx::ui::qt
