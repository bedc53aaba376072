// Firmware download into the simulated controller over a line paced at 57600 baud (5760 bytes
// per second each way), in virtual time. The reported time is the virtual time of one whole
// update (connect, erase, program, verify); the counters give the phases and the effective
// payload rate while programming.
#include "flashlib/flash_host.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace trx;

constexpr double k_line_bytes_per_second = 5760.0;

double seconds(std::chrono::nanoseconds d) {
    return std::chrono::duration<double>(d).count();
}

// The whole 256 KiB flash, every block holding data.
flash::HexImage dense_image() {
    flash::HexImage img;
    std::mt19937 rng(1);
    for (std::uint32_t a = 0; a < 0x40000; ++a) {
        img.put(a, static_cast<std::uint8_t>(rng() % 255));
    }
    return img;
}

// 30 % of the 256-byte blocks hold data, spread over the whole flash.
flash::HexImage sparse_image() {
    flash::HexImage img;
    std::mt19937 rng(2);
    for (std::uint32_t block = 0; block < 0x40000 / 256; ++block) {
        if (rng() % 100 >= 30) {
            continue;
        }
        for (std::uint32_t i = 0; i < 256; ++i) {
            img.put(block * 256 + i, static_cast<std::uint8_t>(rng() % 255));
        }
    }
    return img;
}

void update(benchmark::State& state, const flash::HexImage& image) {
    flash::SessionStats stats;
    double total = 0;
    for (auto _ : state) {
        sim::FlashMemory memory(flash::trx81500_layout());
        sim::FlashTarget target(memory);
        sim::VirtualLine line(target, sim::LineConfig{5760, std::chrono::milliseconds(1)});
        target.enter(line.now());
        flash::FlashHost host(line);
        std::uint32_t erased = 0;
        const bool ok = host.connect().ok() &&
                        host.erase(image.sector_mask(flash::trx81500_layout()), erased).ok() &&
                        host.program(image, erased).ok();
        if (!ok) {
            state.SkipWithError("the update failed");
            return;
        }
        stats = host.stats();
        total = seconds(line.now());
        state.SetIterationTime(total);
    }
    const double program = seconds(stats.program_time);
    const double rate = static_cast<double>(stats.transfer.payload_bytes) / program;
    state.counters["data_bytes"] = static_cast<double>(image.size());
    state.counters["sent_bytes"] = static_cast<double>(stats.transfer.payload_bytes);
    state.counters["payload_Bps"] = rate;
    state.counters["line_share_pct"] = 100.0 * rate / k_line_bytes_per_second;
    state.counters["erase_s"] = seconds(stats.erase_time);
    state.counters["program_s"] = program;
    state.counters["verify_s"] = seconds(stats.verify_time);
    state.counters["total_s"] = total;
}

void BM_FlashDense256KiB(benchmark::State& state) {
    update(state, dense_image());
}
void BM_FlashSparse30Percent(benchmark::State& state) {
    update(state, sparse_image());
}

BENCHMARK(BM_FlashDense256KiB)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FlashSparse30Percent)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
