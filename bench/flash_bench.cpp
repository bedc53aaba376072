// Firmware download into the simulated controller over a paced line (5760 bytes per second
// each way at 57600 baud, more at a negotiated rate), in virtual time: connect with the rate
// negotiation, erase, program, verify and GO, with the compression the target offers. The
// cable carries 57600 unless the name says more. "Before" runs as the library did before the
// rate negotiation and zlib: fixed Huffman codes, 57600 throughout; "Pieces" as it did before a
// run travelled as one stream (ZRUN): each ZDATA piece a zlib stream of its own. Counters:
//   effective_pct  image data bytes / time from the first data-carrying frame to its last
//                  acknowledgement (the CRC round before the reset vector not counted) / 5760
//   total_s        the whole update, connect to GO
//   connect_s      HELLO and the rate negotiation
//   verify_s       the CRC requests of both rounds; erase_pct, verify_pct their share of total
//   baud           the rate the transfer ended at
// Images: random bytes over the whole 256 KiB (incompressible), 30 % of the blocks random,
// and 256 KiB of real machine code: the first 256 KiB of the C library file of the machine
// the benchmark runs on (found among the loaded objects, read at run time).
// Through the flash library's calls, on a flash that persists from one run to the next:
//   BM_ReflashUnchanged  the code image flashed twice; ratio_to_full is the second run's time
//                        over the first's (sectors that hold the image already are skipped)
//   BM_VerifyCodeImage   the code image compared with the flash that holds it, nothing written;
//                        total_s from SetCom to CloseCom
//   BM_ReadBack256KiB    the whole flash read back; effective_pct is its bytes / the read's
//                        time / 5760
#include "flashlib/builtin_flash.hpp"
#include "flashlib/flash_host.hpp"
#include "flashlib/hex_writer.hpp"
#include "sim/flash/flash_target.hpp"
#include "sim/flash/virtual_line.hpp"

#include <benchmark/benchmark.h>
#include <link.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
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

struct Setup {
    std::uint32_t cable = 57600;
    bool before = false; // fixed Huffman codes and 57600 throughout
    bool pieces = false; // a target that takes ZDATA only: each piece a stream of its own
};

void update(benchmark::State& state, const flash::HexImage& image, Setup setup) {
    flash::SessionStats stats;
    double total = 0;
    double connect = 0;
    std::uint32_t baud = 0;
    std::uint64_t line_bytes = 0;
    for (auto _ : state) {
        sim::FlashMemory memory(flash::trx81500_layout());
        sim::TargetConfig target_config;
        target_config.stream_runs = !setup.pieces;
        sim::FlashTarget target(memory, target_config);
        sim::LineConfig config;
        config.cable_max_baud = setup.cable;
        config.port_max_baud = 921600;
        sim::VirtualLine line(target, config);
        target.enter(line.now());
        flash::FlashHost host(line);
        if (setup.before) {
            host.set_max_baud(57600);
            host.set_codec(flash::Codec::fixed_huffman);
        }
        std::uint32_t erased = 0;
        const bool connected = host.connect().ok();
        connect = seconds(line.now());
        baud = host.line_rate();
        const bool ok = connected &&
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
    state.counters["connect_s"] = connect;
    state.counters["erase_pct"] = 100.0 * seconds(stats.erase_time) / total;
    state.counters["verify_pct"] = 100.0 * seconds(stats.verify_time) / total;
    state.counters["baud"] = baud;
}

flash::HexImage code_or_skip(benchmark::State& state) {
    std::string error;
    flash::HexImage image = code_image(error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
    }
    return image;
}

void BM_FlashDense256KiB_Before(benchmark::State& state) {
    update(state, dense_image(), {57600, true});
}
void BM_FlashDense256KiB(benchmark::State& state) {
    update(state, dense_image(), {57600, false});
}
void BM_FlashDense256KiB230400(benchmark::State& state) {
    update(state, dense_image(), {230400, false});
}
void BM_FlashSparse30Percent_Before(benchmark::State& state) {
    update(state, sparse_image(), {57600, true});
}
void BM_FlashSparse30Percent(benchmark::State& state) {
    update(state, sparse_image(), {57600, false});
}
void BM_FlashCodeImage_Before(benchmark::State& state) {
    if (const auto image = code_or_skip(state); image.size() > 0) {
        update(state, image, {57600, true});
    }
}
void BM_FlashCodeImage_Pieces(benchmark::State& state) {
    if (const auto image = code_or_skip(state); image.size() > 0) {
        update(state, image, {57600, false, true});
    }
}
void BM_FlashCodeImage(benchmark::State& state) {
    if (const auto image = code_or_skip(state); image.size() > 0) {
        update(state, image, {57600, false});
    }
}
void BM_FlashCodeImage230400(benchmark::State& state) {
    if (const auto image = code_or_skip(state); image.size() > 0) {
        update(state, image, {230400, false});
    }
}

#define TRX_FLASH_BENCH(name)                                                                      \
    BENCHMARK(name)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond)
TRX_FLASH_BENCH(BM_FlashDense256KiB_Before);
TRX_FLASH_BENCH(BM_FlashDense256KiB);
TRX_FLASH_BENCH(BM_FlashDense256KiB230400);
TRX_FLASH_BENCH(BM_FlashSparse30Percent_Before);
TRX_FLASH_BENCH(BM_FlashSparse30Percent);
TRX_FLASH_BENCH(BM_FlashCodeImage_Before);
TRX_FLASH_BENCH(BM_FlashCodeImage_Pieces);
TRX_FLASH_BENCH(BM_FlashCodeImage);
TRX_FLASH_BENCH(BM_FlashCodeImage230400);

// One controller whose flash outlives the library's runs; each SetCom starts a fresh loader
// session on a fresh line.
struct Rig {
    sim::FlashMemory memory{flash::trx81500_layout()};
    sim::FlashTarget target{memory};
    std::unique_ptr<sim::VirtualLine> line;
    flash::BuiltinFlash library{[this](const std::string&, std::int32_t,
                                       std::string&) -> std::unique_ptr<flash::Transport> {
        line = std::make_unique<sim::VirtualLine>(
            target, sim::LineConfig{5760, std::chrono::milliseconds(1)});
        target.enter(line->now());
        return std::make_unique<sim::LineEnd>(*line);
    }};

    bool connect() {
        char name[33] = {};
        std::fill_n(name, 32, ' ');
        double hz = 0;
        return library.SetCom("COM1", 57600) == 1 && library.InitMonitor(name) == 1 &&
               library.AdjustCpuFrequency(&hz) == 1;
    }
    // The nine calls; the run's time on its line.
    std::optional<double> update(const std::string& path) {
        std::int32_t size = 0;
        std::int16_t roms1 = 0;
        std::int32_t block = 0;
        const bool ok = connect() && library.LoadFile(path.c_str(), &size) == 1 &&
                        library.AutoROMS1(&roms1) == 1 && library.GetHexFileBlock(&block) == 1 &&
                        library.EraseFlash(block) == 1 && library.ProgramFlash() == 1;
        (void)library.CloseCom();
        return ok && target.finished() ? std::optional(seconds(line->now())) : std::nullopt;
    }
    std::optional<double> verify(const std::string& path, std::int32_t& differing) {
        std::int32_t size = 0;
        const bool ok = connect() && library.LoadFile(path.c_str(), &size) == 1 &&
                        library.VerifyFlash(&differing) == 1;
        (void)library.CloseCom();
        return ok ? std::optional(seconds(line->now())) : std::nullopt;
    }
};

// The code image as a hex file in the temporary folder.
std::string code_hex_file(std::string& error) {
    const flash::HexImage image = code_image(error);
    if (!error.empty()) {
        return {};
    }
    const auto path = std::filesystem::temp_directory_path() / "trx_flash_bench_code.h86";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << flash::write_intel_hex(image);
    return path.string();
}

void BM_ReflashUnchanged(benchmark::State& state) {
    std::string error;
    const std::string path = code_hex_file(error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        Rig rig;
        const auto first = rig.update(path);
        const auto second = rig.update(path);
        if (!first || !second) {
            state.SkipWithError("an update failed");
            return;
        }
        state.SetIterationTime(*second);
        state.counters["first_s"] = *first;
        state.counters["second_s"] = *second;
        state.counters["ratio_to_full"] = *second / *first;
        state.counters["sectors_skipped"] = rig.library.skipped_sectors();
    }
}

void BM_VerifyCodeImage(benchmark::State& state) {
    std::string error;
    const std::string path = code_hex_file(error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        Rig rig;
        std::int32_t differing = -1;
        const auto programmed = rig.update(path);
        const auto programmed_ops = rig.memory.program_operations();
        const auto total = rig.verify(path, differing);
        if (!programmed || !total || differing != 0 ||
            rig.memory.program_operations() != programmed_ops) {
            state.SkipWithError("the verify failed or found a difference");
            return;
        }
        state.SetIterationTime(*total);
        state.counters["total_s"] = *total;
    }
}

void BM_ReadBack256KiB(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        std::vector<std::uint8_t> bytes(k_flash);
        if (!rig.connect()) {
            state.SkipWithError("no connection");
            return;
        }
        const double connected = seconds(rig.line->now());
        const bool ok = rig.library.ReadFlash(0, k_flash, bytes.data()) == 1;
        const double read = seconds(rig.line->now()) - connected;
        (void)rig.library.CloseCom();
        if (!ok || !std::equal(bytes.begin(), bytes.end(), rig.memory.content().begin())) {
            state.SkipWithError("the read-back failed or differs");
            return;
        }
        state.SetIterationTime(read);
        state.counters["read_s"] = read;
        state.counters["effective_pct"] = 100.0 * k_flash / read / k_line_bytes_per_second;
    }
}

TRX_FLASH_BENCH(BM_ReflashUnchanged);
TRX_FLASH_BENCH(BM_VerifyCodeImage);
TRX_FLASH_BENCH(BM_ReadBack256KiB);

} // namespace
