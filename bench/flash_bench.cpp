// Firmware download into the simulated controller over a line paced at 57600 baud (5760 bytes
// per second each way), in virtual time: connect, erase, program, verify and GO, with the
// compression the target offers. Counters:
//   effective_pct  image data bytes / time from the first DATA or ZDATA frame to its last
//                  acknowledgement (the CRC round before the reset vector not counted) / 5760
//   total_s        the whole update, connect to GO
//   verify_s       the CRC requests of both rounds
// Images: random bytes over the whole 256 KiB (incompressible), 30 % of the blocks random,
// and 256 KiB of real machine code: the first 256 KiB of the C library file of the machine
// the benchmark runs on (found among the loaded objects, read at run time).
#include "flashlib/flash_host.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"

#include <benchmark/benchmark.h>
#include <link.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

using namespace trx;

constexpr double k_line_bytes_per_second = 5760.0;
constexpr std::uint32_t k_flash = 0x40000;

double seconds(std::chrono::nanoseconds d) {
    return std::chrono::duration<double>(d).count();
}

// The whole 256 KiB flash, every block holding data.
flash::HexImage dense_image() {
    flash::HexImage img;
    std::mt19937 rng(1);
    for (std::uint32_t a = 0; a < k_flash; ++a) {
        img.put(a, static_cast<std::uint8_t>(rng() % 255));
    }
    return img;
}

// 30 % of the 256-byte blocks hold data, spread over the whole flash; the reset vector's
// block always.
flash::HexImage sparse_image() {
    flash::HexImage img;
    std::mt19937 rng(2);
    for (std::uint32_t block = 0; block < k_flash / 256; ++block) {
        if (block != 0 && rng() % 100 >= 30) {
            continue;
        }
        for (std::uint32_t i = 0; i < 256; ++i) {
            img.put(block * 256 + i, static_cast<std::uint8_t>(rng() % 255));
        }
    }
    return img;
}

std::string c_library_file() {
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* out) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.find("/libc.so") == std::string::npos) {
                return 0;
            }
            *static_cast<std::string*>(out) = name;
            return 1;
        },
        &found);
    return found;
}

// The first 256 KiB of the C library: real machine code and the tables around it.
flash::HexImage code_image(std::string& error) {
    const std::string file = c_library_file();
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.empty() || bytes.size() < k_flash) {
        error = "no C library file of 256 KiB found (" + file + ")";
        return {};
    }
    flash::HexImage img;
    for (std::uint32_t a = 0; a < k_flash; ++a) {
        img.put(a, static_cast<std::uint8_t>(bytes[a]));
    }
    return img;
}

void update(benchmark::State& state, const flash::HexImage& image) {
    flash::SessionStats stats;
    double total = 0;
    std::uint64_t line_bytes = 0;
    for (auto _ : state) {
        sim::FlashMemory memory(flash::trx81500_layout());
        sim::FlashTarget target(memory);
        sim::VirtualLine line(target, sim::LineConfig{5760, std::chrono::milliseconds(1)});
        target.enter(line.now());
        flash::FlashHost host(line);
        std::uint32_t erased = 0;
        const bool ok = host.connect().ok() &&
                        host.erase(image.sector_mask(flash::trx81500_layout()), erased).ok() &&
                        host.program(image, erased).ok() && host.go().ok();
        if (!ok || !target.finished()) {
            state.SkipWithError("the update failed");
            return;
        }
        stats = host.stats();
        total = seconds(line.now());
        line_bytes = line.bytes_to_target();
        state.SetIterationTime(total);
    }
    const double program = seconds(stats.program_time);
    const double data = static_cast<double>(image.size());
    state.counters["data_bytes"] = data;
    state.counters["line_bytes"] = static_cast<double>(line_bytes);
    state.counters["zdata_frames"] = static_cast<double>(stats.transfer.compressed_frames);
    state.counters["effective_pct"] = 100.0 * data / program / k_line_bytes_per_second;
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
void BM_FlashCodeImage(benchmark::State& state) {
    std::string error;
    const flash::HexImage image = code_image(error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    update(state, image);
}

BENCHMARK(BM_FlashDense256KiB)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FlashSparse30Percent)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FlashCodeImage)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
