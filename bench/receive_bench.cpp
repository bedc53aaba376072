// Bytes per second through the receive assembly and dispatch, and what the wire recorder
// costs that path: the same stream through a program whose recorder is detached and through
// one that keeps the ring and records to a file.
#include "capture/recent_ring.hpp"
#include "full_scans.hpp"
#include "link/frame.hpp"
#include "testkit/driver.hpp"
#include "testkit/status_frames.hpp"

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace {

void receive_stream(benchmark::State& state, const std::string& frame) {
    trx::testkit::Driver d;
    d.start();
    (void)d.program().services().port.open();
    std::string stream;
    while (stream.size() < 64 * 1024) {
        stream += frame;
    }
    for (auto _ : state) {
        d.receive(stream);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}

void BM_ReceiveShortFrames(benchmark::State& state) {
    receive_stream(state, trx::link::build_frame('L', "012C"));
}

void BM_ReceiveLongFrames(benchmark::State& state) {
    // A 490-character frame of an unknown letter: assembly and checksum, dispatch ignores it.
    receive_stream(state, trx::link::build_frame('X', std::string(490, '7')));
}

void BM_ReceiveGarbage(benchmark::State& state) {
    std::string g;
    for (int i = 0; i < 4096; ++i) {
        g += static_cast<char>((i * 7919) & 0xFF);
    }
    receive_stream(state, g);
}

// CPU time of this thread, the user-interface thread: what the receive path costs it, whatever
// else shares the machine (the recorder's writer thread included, which runs beside it).
double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double seconds_of(trx::testkit::Driver& d, const std::string& stream, std::size_t batch) {
    const double t0 = thread_seconds();
    for (std::size_t at = 0; at < stream.size(); at += batch) {
        d.receive(std::string_view(stream).substr(at, batch));
    }
    return thread_seconds() - t0;
}

// The serial port hands over what arrived since its last notification: a few bytes up to a
// frame at 57600 baud. Both programs get the same batches, in turns, so a busy machine slows
// both alike; the counter is the recorder's share of the receive path. Stream 0: frames of a
// letter nobody handles, the assembly alone (the cheapest path there is, so the worst case
// for the recorder's share); stream 1: full "ZA" status frames, decoded and shown as in a
// live scan.
void BM_RecordingOverhead(benchmark::State& state) {
    const auto batch = static_cast<std::size_t>(state.range(0));
    const bool scans = state.range(1) == 1;
    trx::testkit::Driver off;
    trx::testkit::Driver on;
    for (auto* d : {&off, &on}) {
        d->start();
        d->click("main.Toolbar1.comport");
        d->receive(trx::testkit::parameter_reply(false));
    }
    off.program().port().set_tap(nullptr);
    const auto file = std::filesystem::temp_directory_path() /
                      ("trx-bench-recording-" + std::to_string(::getpid()) + ".trxcap");
    on.answer_save_dialog(file.string());
    on.program().recording().start();
    std::string stream;
    while (stream.size() < 64 * 1024) {
        stream += scans ? trx::testkit::status_frame(full_scan(false))
                        : trx::link::build_frame('X', std::string(490, '7'));
    }
    // The program runs for hours: its ring is full, its memory in place. Filling the ring the
    // first time costs once per program run, not per batch.
    for (std::size_t fed = 0; fed < trx::capture::RecentRing::k_default_max_bytes * 5 / 4;
         fed += stream.size()) {
        (void)seconds_of(off, stream, batch);
        (void)seconds_of(on, stream, batch);
    }
    double t_off = 0;
    double t_on = 0;
    for (auto _ : state) {
        t_off += seconds_of(off, stream, batch);
        t_on += seconds_of(on, stream, batch);
        on.program().recording().settle(); // the disk keeps up at every turn, as it must
    }
    if (!on.program().recording().recording()) {
        state.SkipWithError("the recording ended");
    }
    on.program().recording().stop();
    std::filesystem::remove(file);
    state.counters["recording_overhead_pct"] = t_off > 0 ? 100.0 * (t_on - t_off) / t_off : 0;
    state.counters["off_MiB_per_s"] = static_cast<double>(state.iterations()) *
                                      static_cast<double>(stream.size()) / t_off / (1 << 20);
}

} // namespace

BENCHMARK(BM_ReceiveShortFrames);
BENCHMARK(BM_ReceiveLongFrames);
BENCHMARK(BM_ReceiveGarbage);
BENCHMARK(BM_RecordingOverhead)
    ->ArgsProduct({{8, 64, 512}, {0, 1}})
    ->ArgNames({"batch", "scans"})
    ->Unit(benchmark::kMillisecond);
