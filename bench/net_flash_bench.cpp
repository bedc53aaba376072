// The demo image through RFC 2217 over loopback beside the same through the pseudo-terminal,
// at the same rate, in one run: trx81500-sim paced on its pseudo-terminal, ser2net offering it
// as rfc2217://127.0.0.1:PORT, and trx81500-cli flash on each in turn. The network path must
// take no more than 10 % longer (the counter `ratio`).
#include "sim/launcher.hpp"
#include "tests/child_processes.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace trx::test;

std::string read_file(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ser2net for the whole run, and a paced simulator for each flash.
class Rig {
public:
    bool start(std::string& error) {
        dir_ = fs::temp_directory_path() / ("bench_net_flash." + std::to_string(::getpid()));
        fs::create_directories(dir_);
        port_ = free_port();
        std::ofstream(dir_ / "ser2net.yaml")
            << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_
            << "\n  connector: serialdev," << tty().string() << ",57600n81,local\n"
            << "  options:\n    kickolduser: true\n";
        server_ = spawn({"ser2net", "-n", "-u", "-c", (dir_ / "ser2net.yaml").string(), "-P",
                         (dir_ / "ser2net.pid").string()},
                        dir_ / "ser2net.log");
        for (int i = 0; i < 100 && !listening(port_); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        if (!listening(port_)) {
            error = "ser2net does not listen: " + read_file(dir_ / "ser2net.log");
            return false;
        }
        return true;
    }
    ~Rig() {
        trx::test::stop(server_);
        sim_.stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // The simulator's device under a name of its own, which ser2net opens at each connection.
    [[nodiscard]] fs::path tty() const { return dir_ / "tty"; }

    // One flash of the demo image into a blank controller (a fresh paced simulator, so that
    // no sector is skipped as already there); its wall time, or a negative number with the
    // reason.
    double flash(bool network, std::uint32_t baud, std::string& error) {
        std::error_code ec;
        fs::remove(dir_ / "flash.bin", ec);
        if (!sim_.start({"--quiet", "--pace", "--flash", (dir_ / "flash.bin").string(), "--link",
                         tty().string()},
                        TRX_SIM_EXE)) {
            error = sim_.error();
            return -1;
        }
        const std::string port =
            network ? "rfc2217://127.0.0.1:" + std::to_string(port_) : sim_.device();
        const fs::path log = dir_ / "flash.log";
        const auto start = Clock::now();
        const pid_t pid = spawn({TRX_CLI_EXE, "--port", port, "flash", "--force", "--max-baud",
                                 std::to_string(baud), TRX_DEMO_FIRMWARE},
                                log);
        const int status = wait_status(pid);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        sim_.stop();
        const std::string out = read_file(log);
        const std::string rate =
            baud == 57600 ? std::string() : "Transfer at " + std::to_string(baud) + " baud\n";
        if (status != 0 || (!rate.empty() && out.find(rate) == std::string::npos)) {
            error = port + ": status " + std::to_string(status) + "\n" + out;
            return -1;
        }
        return wall;
    }

private:
    fs::path dir_;
    trx::sim::SimulatorProcess sim_;
    pid_t server_ = -1;
    std::uint16_t port_ = 0;
};

// Each iteration flashes through both, pseudo-terminal first, so that a drift of the
// machine's load touches both alike. The reported time is the RFC 2217 one.
void BM_FlashDemoRfc2217BesidePseudoTerminal(benchmark::State& state) {
    const auto baud = static_cast<std::uint32_t>(state.range(0));
    Rig rig;
    std::string error;
    if (!rig.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    double pty_total = 0;
    double net_total = 0;
    for (auto _ : state) {
        const double pty = rig.flash(false, baud, error);
        const double net = pty < 0 ? -1 : rig.flash(true, baud, error);
        if (net < 0) {
            state.SkipWithError(error.c_str());
            return;
        }
        pty_total += pty;
        net_total += net;
        state.SetIterationTime(net);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["pty_s"] = pty_total / n;
    state.counters["rfc2217_s"] = net_total / n;
    state.counters["ratio"] = net_total / pty_total;
}

} // namespace

BENCHMARK(BM_FlashDemoRfc2217BesidePseudoTerminal)
    ->Arg(57600)
    ->Arg(460800)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
