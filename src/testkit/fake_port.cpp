#include "testkit/fake_port.hpp"

namespace trx::testkit {

namespace {
// One byte on the wire: 10 bits at 57600 baud.
constexpr VirtualClock::duration k_byte_time{1'000'000'000LL / 5760};
} // namespace

ui::OpenResult FakeSerialPort::open() {
    if (open_) {
        return {false, "The port is already open"};
    }
    if (open_fails_) {
        return {false, fail_reason_};
    }
    if (const auto it = missing_.find(name_); it != missing_.end()) {
        return {false, it->second};
    }
    open_ = true;
    busy_until_ = clock_.now();
    return {true, {}};
}

std::size_t FakeSerialPort::pending_output() const {
    const auto left = busy_until_ - clock_.now();
    if (left.count() <= 0) {
        return 0;
    }
    return static_cast<std::size_t>((left.count() + k_byte_time.count() - 1) / k_byte_time.count());
}

bool FakeSerialPort::write(std::string_view bytes) {
    if (!open_ || writes_fail_) {
        return false;
    }
    if (pending_output() + bytes.size() > k_transmit_buffer) {
        return false;
    }
    sent_ += bytes;
    const auto start = busy_until_ > clock_.now() ? busy_until_ : clock_.now();
    busy_until_ = start + k_byte_time * static_cast<long long>(bytes.size());
    return true;
}

void FakeSerialPort::inject(std::string_view bytes) {
    if (!open_ || bytes.empty()) {
        return;
    }
    received.raise(bytes);
}

std::string FakeSerialPort::take_sent() {
    std::string s;
    s.swap(sent_);
    return s;
}

void FakeSerialPort::pull_device() {
    if (!open_) {
        return;
    }
    open_ = false;
    lost.raise("The device was removed");
}

} // namespace trx::testkit
