// One status frame from its last byte to both grid models and the picture model rebuilt,
// and the pure decoding on its own for comparison.
#include "full_scans.hpp"
#include "link/status_decoder.hpp"
#include "service/scan_statistics.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

// CPU time of this thread: the figure stays meaningful on a machine shared with other work.
double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Only the ETX is timed: it ends the frame, and the checksum test, the decoding and the
// whole redraw run inside its receive event.
void frame_to_models(benchmark::State& state, bool ya) {
    trx::testkit::Driver d;
    d.start();
    d.click("main.Toolbar1.comport");
    d.receive(trx::testkit::parameter_reply(ya));

    const std::string frame = trx::testkit::status_frame(full_scan(ya));
    const std::string head = frame.substr(0, frame.size() - 1);
    const std::string etx = frame.substr(frame.size() - 1);
    double spent = 0;
    for (auto _ : state) {
        d.receive(head);
        const double t0 = thread_seconds();
        d.receive(etx);
        const double t = thread_seconds() - t0;
        spent += t;
        state.SetIterationTime(t);
    }
    if (d.program().main_form().map.lines().size() != (ya ? 48U : 60U)) {
        state.SkipWithError("the scan was not shown");
    }
    // The whole path, statistics included, against the frame's own time on the wire.
    const double wire_s = static_cast<double>(frame.size()) * 10.0 / 57600.0;
    state.counters["wire_share_percent"] =
        100.0 * spent / static_cast<double>(state.iterations()) / wire_s;
}

void BM_StatusFrameZa60(benchmark::State& state) {
    frame_to_models(state, false);
}
void BM_StatusFrameYa48(benchmark::State& state) {
    frame_to_models(state, true);
}

void decode_only(benchmark::State& state, bool ya) {
    trx::link::ReceiveState rs;
    const std::string frame = trx::testkit::status_frame(full_scan(ya));
    const std::string body = frame.substr(1, frame.size() - 2);
    std::copy(body.begin(), body.end(), rs.buffer.begin());
    rs.count = static_cast<std::int16_t>(body.size());
    const trx::link::StatusContext ctx{ya ? "YA" : "ZA", 8192, 100};
    for (auto _ : state) {
        auto f = trx::link::decode_status(trx::link::ReceivedFrame(rs), ctx);
        benchmark::DoNotOptimize(f);
    }
}

void BM_DecodeOnlyZa60(benchmark::State& state) {
    decode_only(state, false);
}
void BM_DecodeOnlyYa48(benchmark::State& state) {
    decode_only(state, true);
}

// The scan statistics on the receive path: one turn of 48 coded tags into a window of 1000
// turns, the window full, so every turn also takes the oldest one out. The tags wander a
// little and one is missed now and then, as on a real scanner.
void BM_StatisticsYa48Window1000(benchmark::State& state) {
    trx::link::ReceiveState rs;
    const std::string frame = trx::testkit::status_frame(full_scan(true));
    const std::string body = frame.substr(1, frame.size() - 2);
    std::copy(body.begin(), body.end(), rs.buffer.begin());
    rs.count = static_cast<std::int16_t>(body.size());
    trx::service::ScanContext ctx;
    ctx.type = trx::link::ScannerType::ya;
    ctx.max_modul = 100;
    ctx.resolution = 8192;
    const trx::service::Turn base = trx::service::decode_turn(trx::link::ReceivedFrame(rs), ctx, 0);
    std::vector<trx::service::Turn> turns(16, base);
    for (std::size_t i = 0; i < turns.size(); ++i) {
        for (auto& s : turns[i].stripes) {
            *s.tag_angle +=
                static_cast<std::int64_t>((i * 7 + static_cast<std::size_t>(s.k)) % 5) - 2;
        }
        if (i % 4 == 0) {
            turns[i].stripes.erase(turns[i].stripes.begin() + static_cast<long>(i));
        }
    }
    trx::service::ScanStatistics stats({.window = 1000});
    std::int64_t n = 0;
    for (int i = 0; i < 1000; ++i) {
        turns[0].t_ms = n += 55;
        stats.add(turns[0]);
    }
    double spent = 0;
    for (auto _ : state) {
        trx::service::Turn& t = turns[static_cast<std::size_t>(n) % turns.size()];
        t.t_ms = n += 55;
        const double t0 = thread_seconds();
        stats.add(t);
        spent += thread_seconds() - t0;
    }
    if (stats.summary().tags.size() != 48U) {
        state.SkipWithError("the tags were not counted");
    }
    state.counters["stats_us_per_turn"] = spent * 1e6 / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_StatisticsYa48Window1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusFrameZa60)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusFrameYa48)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnlyZa60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnlyYa48)->Unit(benchmark::kMicrosecond);
