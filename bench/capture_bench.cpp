// One hour of the wire at the full line rate (5760 bytes/s, 20 MiB), read from its capture
// file and every status frame in it decoded, headless: how many times faster than real time.
#include "capture/reader.hpp"
#include "capture/writer.hpp"
#include "full_scans.hpp"
#include "link/receiver.hpp"
#include "link/status_decoder.hpp"
#include "service/scan_statistics.hpp"
#include "service/turn.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr double k_hour_s = 3600.0;
constexpr double k_line_bytes_per_s = 5760.0;

struct HourCapture {
    fs::path file;
    std::size_t frames = 0;
    ~HourCapture() { fs::remove(file); }
};

// Full "ZA" scans back to back, each stamped when its last byte would have arrived.
const HourCapture& hour_capture() {
    static const HourCapture capture = [] {
        HourCapture c;
        c.file = fs::temp_directory_path() /
                 ("trx-bench-hour-" + std::to_string(::getpid()) + ".trxcap");
        std::error_code ec;
        trx::capture::Writer w(trx::capture::FileSink::create(c.file, ec),
                               {"trx81500 bench", "COM1"});
        const std::string frame = trx::testkit::status_frame(full_scan(false));
        const double frame_s = static_cast<double>(frame.size()) / k_line_bytes_per_s;
        for (double t = 0; t < k_hour_s; t += frame_s) {
            while (!w.append(trx::capture::Kind::received,
                             static_cast<std::uint64_t>((t + frame_s) * 1e6), frame)) {
            }
            ++c.frames;
            if (c.frames % 1000 == 0) {
                w.drain();
            }
        }
        (void)w.stop();
        return c;
    }();
    return capture;
}

void BM_DecodeHourCapture(benchmark::State& state) {
    const HourCapture& c = hour_capture();
    std::size_t decoded = 0;
    for (auto _ : state) {
        decoded = 0;
        trx::link::Receiver rx;
        const trx::link::StatusContext ctx{"ZA", 8192, 100};
        rx.on_status(
            [&](const trx::link::ReceivedFrame& f) {
                auto s = trx::link::decode_status(f, ctx);
                benchmark::DoNotOptimize(s);
                ++decoded;
            },
            [] { return true; });
        trx::capture::Reader r = trx::capture::Reader::open(c.file);
        while (auto rec = r.next()) {
            rx.port_event(2, rec->data);
        }
        if (!r.stop_reason().empty() || r.refused()) {
            state.SkipWithError("the capture did not read to its end");
        }
    }
    if (decoded != c.frames) {
        state.SkipWithError("not every status frame was decoded");
    }
    state.counters["frames"] = static_cast<double>(decoded);
    state.counters["file_MiB"] = static_cast<double>(fs::file_size(c.file)) / (1 << 20);
    state.counters["realtime_factor"] = benchmark::Counter(
        k_hour_s * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The same hour with every frame decoded into a turn, as replay does, and the turn added to
// the scan statistics over the largest window of the program's (1000 turns).
void BM_DecodeHourCaptureWithStatistics(benchmark::State& state) {
    const HourCapture& c = hour_capture();
    std::size_t decoded = 0;
    for (auto _ : state) {
        decoded = 0;
        trx::link::Receiver rx;
        trx::service::ScanContext ctx;
        ctx.type = trx::link::ScannerType::za;
        ctx.resolution = 8192;
        trx::service::ScanStatistics stats({.window = 1000});
        stats.set_type(trx::link::ScannerType::za);
        rx.on_status(
            [&](const trx::link::ReceivedFrame& f) {
                const auto ms = static_cast<std::int64_t>(decoded) * 87;
                stats.add(trx::service::decode_turn(f, ctx, ms));
                ++decoded;
            },
            [] { return true; });
        trx::capture::Reader r = trx::capture::Reader::open(c.file);
        while (auto rec = r.next()) {
            rx.port_event(2, rec->data);
        }
        benchmark::DoNotOptimize(stats.summary());
    }
    if (decoded != c.frames) {
        state.SkipWithError("not every status frame was decoded");
    }
    state.counters["frames"] = static_cast<double>(decoded);
    state.counters["realtime_factor"] = benchmark::Counter(
        k_hour_s * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_DecodeHourCapture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeHourCaptureWithStatistics)->Unit(benchmark::kMillisecond);
