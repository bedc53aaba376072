// CRC-32 of base (the flash check, every capture record) beside zlib's crc32(), on a 64 KiB
// block (a flash sector's read-back, a capture's batch) and on 60 bytes (one short record).
#include "base/crc32.hpp"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 0x12345678;
    for (auto& b : v) {
        x = x * 1664525U + 1013904223U;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return v;
}

void BM_Crc32Base(benchmark::State& state) {
    const auto data = bytes(static_cast<std::size_t>(state.range(0)));
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = trx::crc32_update(crc, data);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32Zlib(benchmark::State& state) {
    const auto data = bytes(static_cast<std::size_t>(state.range(0)));
    uLong crc = 0;
    for (auto _ : state) {
        crc = ::crc32(crc, data.data(), static_cast<uInt>(data.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_Crc32Base)->Arg(64 * 1024)->Arg(4096)->Arg(512)->Arg(60);
BENCHMARK(BM_Crc32Zlib)->Arg(64 * 1024)->Arg(4096)->Arg(512)->Arg(60);
