// Bytes per second through the receive assembly and dispatch.
#include "link/frame.hpp"
#include "testkit/driver.hpp"

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK(BM_ReceiveShortFrames);
BENCHMARK(BM_ReceiveLongFrames);
BENCHMARK(BM_ReceiveGarbage);
