// The simulator's pace: with --pace its bytes leave no faster than 57600 baud 8N1 would carry
// them (5760 bytes/s). Measured twice: on the device model's own clock (virtual time, exact),
// and at the far end of the pseudo-terminal of a running trx81500-sim (real time). The line is
// kept full by a crowded scene at the highest speed. Reported counters: bytes_per_second and
// share_of_line (1.0 = exactly 5760 bytes/s).
#include "sim/launcher.hpp"
#include "sim/scanner.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace trx::sim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double k_line_rate = 5760.0;

Scene crowded_scene() {
    Scene s;
    for (std::int32_t i = 0; i < 48; ++i) {
        s.stripes.push_back({i * 7000, 500, static_cast<std::uint8_t>(i + 1)});
    }
    return s;
}

void report(benchmark::State& state, double bytes, double seconds) {
    state.counters["bytes_per_second"] = bytes / seconds;
    state.counters["share_of_line"] = bytes / seconds / k_line_rate;
}

// 3 s on the model's own clock, polled at uneven steps as a busy front would.
void BM_PacedLineVirtualTime(benchmark::State& state) {
    double bytes = 0;
    for (auto _ : state) {
        ScannerConfig c;
        c.pace = true;
        c.params.speed = 180;
        c.scene = crowded_scene();
        std::chrono::nanoseconds now{0};
        Scanner s(c, now);
        now += 500ms;
        (void)s.poll(now); // the line is full from here on
        const auto t0 = now;
        bytes = 0;
        for (int i = 0; now - t0 < 3s; ++i) {
            now += std::chrono::microseconds(200 + (i * 7919) % 6000);
            bytes += static_cast<double>(s.poll(now).size());
        }
        benchmark::DoNotOptimize(bytes);
        report(state, bytes, std::chrono::duration<double>(now - t0).count());
    }
}

// A running trx81500-sim --pace, read through its device for 3 s.
void BM_PacedSimulatorOverPty(benchmark::State& state) {
    const auto scene = std::filesystem::temp_directory_path() / "trx_bench_scene.txt";
    {
        std::ofstream out(scene);
        for (int i = 0; i < 48; ++i) {
            out << "stripe " << i * 7 << " 0.5 " << i + 1 << "\n";
        }
    }
    const auto state_file = std::filesystem::temp_directory_path() / "trx_bench_state.txt";
    std::ofstream(state_file) << "speed 180\n";
    for (auto _ : state) {
        SimulatorProcess sim;
        if (!sim.start({"--pace", "--scene", scene.string(), "--state", state_file.string()},
                       TRX_SIM_EXE)) {
            state.SkipWithError(sim.error().c_str());
            break;
        }
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        char buf[4096];
        double bytes = 0;
        Clock::time_point first{};
        Clock::time_point last{};
        const auto end = Clock::now() + 3500ms;
        while (Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            // Rate over whole reads after the first: from the end of one to the end of another.
            if (first == Clock::time_point{}) {
                first = Clock::now();
                continue;
            }
            last = Clock::now();
            bytes += static_cast<double>(n);
        }
        ::close(fd);
        report(state, bytes, std::chrono::duration<double>(last - first).count());
    }
    std::filesystem::remove(scene);
    std::filesystem::remove(state_file);
}

} // namespace

BENCHMARK(BM_PacedLineVirtualTime)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacedSimulatorOverPty)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
