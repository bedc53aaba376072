// Bytes per second from the other end of the line to the port's `received`, through the Qt
// event loop: a pseudo-terminal on QtSerialPort beside a loopback TCP connection on
// QtNetPort (socket://). The network port must cost no more than the device.
#include "qt/qt_net_port.hpp"
#include "qt/qt_serial_port.hpp"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

constexpr std::size_t k_chunk = 4096;

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "bench_receive";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Writes a chunk at the far end and runs the event loop until the port handed it all on.
void pump(benchmark::State& state, trx::ui::SerialPort& port, int far_end) {
    std::size_t got = 0;
    auto c = port.received.connect([&](std::string_view b) { got += b.size(); });
    const std::string chunk(k_chunk, '\x55');
    for (auto _ : state) {
        got = 0;
        if (::write(far_end, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
            state.SkipWithError("the far end took no bytes");
            return;
        }
        while (got < chunk.size()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * k_chunk));
}

void BM_PortReceivePseudoTerminal(benchmark::State& state) {
    app();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    trx::ui::qt::QtSerialPort port;
    port.set_port_name(name);
    if (!port.open().ok) {
        state.SkipWithError("the pseudo-terminal did not open");
    } else {
        pump(state, port, master);
    }
    port.close();
    ::close(slave);
    ::close(master);
}

void BM_PortReceiveLoopbackSocket(benchmark::State& state) {
    app();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), len);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    trx::ui::qt::QtNetPort port;
    port.set_port_name("socket://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    const bool opened = port.open().ok;
    const int far_end = opened ? ::accept(listener, nullptr, nullptr) : -1;
    if (far_end < 0) {
        state.SkipWithError("the loopback connection failed");
    } else {
        pump(state, port, far_end);
        ::close(far_end);
    }
    port.close();
    ::close(listener);
}

} // namespace

BENCHMARK(BM_PortReceivePseudoTerminal);
BENCHMARK(BM_PortReceiveLoopbackSocket);
