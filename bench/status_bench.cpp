// One status frame from its last byte to both grid models and the picture model rebuilt,
// and the pure decoding on its own for comparison.
#include "full_scans.hpp"
#include "link/status_decoder.hpp"
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
    for (auto _ : state) {
        d.receive(head);
        const double t0 = thread_seconds();
        d.receive(etx);
        state.SetIterationTime(thread_seconds() - t0);
    }
    if (d.program().main_form().map.lines().size() != (ya ? 48U : 60U)) {
        state.SkipWithError("the scan was not shown");
    }
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

} // namespace

BENCHMARK(BM_StatusFrameZa60)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusFrameYa48)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnlyZa60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnlyYa48)->Unit(benchmark::kMicrosecond);
