// trx81500-cli monitor --json at the scanner's fastest load, 18 turns per second with 48 coded
// stripes: the CPU share of the running tool against the simulator, and the cost of one turn
// from frame to JSON line in-process. replay --speed 0 --json of an hour at the full line rate.
#include "capture/format.hpp"
#include "cli/cli.hpp"
#include "cli/turn_lines.hpp"
#include "full_scans.hpp"
#include "parafile/text_files.hpp"
#include "service/turn.hpp"
#include "sim/launcher.hpp"
#include "testkit/fake_port.hpp"
#include "testkit/virtual_clock.hpp"
#include "testkit/virtual_pump.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <streambuf>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double k_turns_per_second = 18.0;

void BM_TurnToJsonYa48(benchmark::State& state) {
    trx::link::ReceiveState rs;
    const std::string frame = trx::testkit::status_frame(full_scan(true));
    const std::string body = frame.substr(1, frame.size() - 2);
    std::copy(body.begin(), body.end(), rs.buffer.begin());
    rs.count = static_cast<std::int16_t>(body.size());
    trx::service::ScanContext context;
    context.type = trx::link::ScannerType::ya;
    context.max_modul = 100;
    std::string line;
    for (auto _ : state) {
        line.clear();
        const auto turn = trx::service::decode_turn(trx::link::ReceivedFrame(rs), context, 0);
        trx::cli::append_turn(line, turn, trx::cli::TurnFormat::json);
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["line_bytes"] = static_cast<double>(line.size());
}

// The tool on its own process, reading an unpaced simulator (which keeps the turn rate but
// not the line rate, so all 18 full frames a second arrive) for 10 s.
void BM_MonitorJsonProcessCpu(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "trx_bench_cli";
    std::filesystem::create_directories(dir);
    {
        std::ofstream scene(dir / "scene.txt");
        for (int i = 0; i < 24; ++i) {
            scene << "tag " << i * 15 << " 1.0 0.5 1.0 " << i + 1 << "\n";
        }
        std::ofstream(dir / "state.txt") << "speed 180\n";
    }
    for (auto _ : state) {
        trx::sim::SimulatorProcess sim;
        if (!sim.start(
                {"--scene", (dir / "scene.txt").string(), "--state", (dir / "state.txt").string()},
                TRX_SIM_EXE)) {
            state.SkipWithError(sim.error().c_str());
            break;
        }
        int out[2];
        if (::pipe(out) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::execl(TRX_CLI_EXE, TRX_CLI_EXE, "--port", sim.device().c_str(), "monitor", "--json",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        double lines = 0;
        double bytes = 0;
        const auto start = Clock::now();
        while (Clock::now() - start < 10s) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            char buf[65536];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            bytes += static_cast<double>(n);
            lines += static_cast<double>(std::count(buf, buf + n, '\n'));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        ::kill(pid, SIGINT);
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        ::close(out[0]);
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        state.SetIterationTime(wall);
        state.counters["turns_per_s"] = lines / wall;
        state.counters["json_bytes_per_s"] = bytes / wall;
        // Start-up included: the whole life of the process, over the time it monitored.
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
        if (lines < 0.9 * k_turns_per_second * wall) {
            state.SkipWithError("the tool did not keep up with the turns");
        }
    }
    std::filesystem::remove_all(dir);
}

// Counts the lines written and keeps nothing, as a pipe to a fast reader would.
class LineCounter final : public std::streambuf {
public:
    [[nodiscard]] double lines() const { return lines_; }

protected:
    int overflow(int c) override {
        lines_ += c == '\n' ? 1 : 0;
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        lines_ += static_cast<double>(std::count(s, s + n, '\n'));
        return n;
    }

private:
    double lines_ = 0;
};

// One hour of a "YA" scanner at 57600 baud with every byte busy: its set, then full status
// frames back to back, in the batches of 96 bytes a USB adapter hands over.
std::filesystem::path hour_at_line_rate(const std::filesystem::path& dir) {
    constexpr std::uint64_t k_bytes_per_second = 5760;
    constexpr std::uint64_t k_seconds = 3600;
    constexpr std::size_t k_batch = 96;
    const std::string frame = trx::testkit::status_frame(full_scan(true));
    std::string wire = trx::testkit::parameter_reply(true);
    while (wire.size() < k_bytes_per_second * k_seconds) {
        wire += frame;
    }
    wire.resize(k_bytes_per_second * k_seconds);
    std::string file = trx::capture::file_start({"bench", "/dev/ttyUSB0"});
    for (std::size_t at = 0; at < wire.size(); at += k_batch) {
        const std::uint64_t time_us = (at + k_batch) * 1'000'000 / k_bytes_per_second;
        trx::capture::encode(trx::capture::Kind::received, time_us,
                             std::string_view(wire).substr(at, k_batch), file);
    }
    const auto path = dir / "hour.trxcap";
    std::ofstream(path, std::ios::binary) << file;
    return path;
}

void BM_ReplayHourUnpacedJson(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "trx_bench_replay";
    std::filesystem::create_directories(dir);
    const auto capture = hour_at_line_rate(dir);
    trx::testkit::VirtualClock clock;
    trx::testkit::FakeSerialPort port(clock);
    trx::testkit::VirtualPump pump(clock);
    trx::parafile::TextFiles files;
    LineCounter counter;
    std::ostream out(&counter);
    std::ostringstream err;
    trx::cli::Cli cli({.port = port,
                       .clock = clock,
                       .pump = pump,
                       .now = [&clock] { return clock.now(); },
                       .interrupted = [] { return false; },
                       .out = out,
                       .err = err,
                       .files = files,
                       .flash_library = {},
                       .backup_before_store = {}});
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (cli.run({"replay", capture.string(), "--speed", "0", "--json"}) != 0) {
            state.SkipWithError(err.str().c_str());
            break;
        }
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["capture_mib"] =
        static_cast<double>(std::filesystem::file_size(capture)) / (1024.0 * 1024.0);
    state.counters["turns"] = counter.lines() / runs;
    state.counters["realtime_factor"] = 3600.0 * runs / seconds;
    std::filesystem::remove_all(dir);
}

} // namespace

BENCHMARK(BM_TurnToJsonYa48);
BENCHMARK(BM_ReplayHourUnpacedJson)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_MonitorJsonProcessCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
