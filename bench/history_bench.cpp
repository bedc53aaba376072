// A year of a busy line's service history in the station's SQLite file: its size, and how long
// history list takes on it (all entries, and one scanner's). The year is made once, with the
// entries the operations record: per scanner a first read, the backup and store of its set,
// the read-back, a firmware update and the check after it.
#include "history/recorder.hpp"
#include "history/sqlite_history.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace trx::history;
namespace fs = std::filesystem;

// One line, three stations: 250 working days of 120 scanners.
constexpr int k_days = 250;
constexpr int k_scanners_per_day = 120;

struct Year {
    fs::path folder;
    std::unique_ptr<SqliteHistory> store;
    std::int64_t entries = 0;
    std::uintmax_t bytes = 0;
    std::uint32_t some_serial = 0;
};

trx::link::ParaSet set_of(std::uint32_t serial, std::uint32_t speed) {
    trx::link::ParaSet s;
    s.serial_number = serial;
    s.version = 109;
    s.speed = speed;
    s.resolution = 2;
    s.switches = 3;
    s.gap_offset_abs = 5;
    s.max_modul_angle = 291;
    s.can_baud_code = 3;
    s.rs232_baud_code = 5;
    s.gap_correction = 100;
    s.can_identifier = 0x123;
    return s;
}

void one_scanner(Recorder& r, std::uint32_t serial) {
    using trx::link::ScannerType;
    const trx::link::ParaReply reply{ScannerType::ya, set_of(serial, 100), 6};
    r.seen(reply, 1);
    r.read(reply);
    r.backup(ScannerType::ya, reply.set,
             "/home/line/.local/share/trx81500/backups/" + std::to_string(serial) +
                 "/20250301T093000Z-before-store.trxp",
             "before_store");
    r.store(ScannerType::ya, reply.set, set_of(serial, 125), std::nullopt);
    r.read({ScannerType::ya, set_of(serial, 125), 6});
    UpdateRecord u;
    u.serial = serial;
    u.image = "/srv/firmware/trx81500-1.10.h86";
    u.image_crc = 0x1234ABCD;
    u.image_bytes = 196'608;
    u.target = "C167CR";
    u.sectors_skipped = 2;
    u.duration_s = 41.5;
    r.update(u);
    r.seen({ScannerType::ya, set_of(serial, 125), 6}, 1);
    r.read({ScannerType::ya, set_of(serial, 125), 6});
}

Year& year() {
    static Year y = [] {
        Year out;
        std::string pattern = (fs::temp_directory_path() / "trx-history-bench-XXXXXX").string();
        out.folder = ::mkdtemp(pattern.data());
        out.store = std::move(SqliteHistory::open(out.folder / "history.sqlite").value());
        std::vector<Entry> day;
        auto clock = std::chrono::system_clock::time_point{} + std::chrono::years(55);
        Recorder r(
            {"line1-st2", "service", "trx81500 1.09"}, [&clock] { return clock; },
            [&day](Entry e) { day.push_back(std::move(e)); });
        std::uint32_t serial = 1'000'000;
        for (int d = 0; d < k_days; ++d) {
            day.clear();
            for (int s = 0; s < k_scanners_per_day; ++s) {
                clock += std::chrono::minutes(4);
                one_scanner(r, ++serial);
            }
            (void)out.store->add(day);
            out.entries += static_cast<std::int64_t>(day.size());
        }
        out.some_serial = serial - k_scanners_per_day * k_days / 2;
        (void)out.store->mark_sent(*out.store->unsent(1)); // the queue's index in use
        out.store.reset();                                 // the WAL folded back into the file
        out.bytes = fs::file_size(out.folder / "history.sqlite");
        out.store = std::move(SqliteHistory::open(out.folder / "history.sqlite").value());
        return out;
    }();
    return y;
}

void counters(benchmark::State& state, std::size_t listed) {
    const Year& y = year();
    state.counters["entries"] = static_cast<double>(y.entries);
    state.counters["file_MB"] = static_cast<double>(y.bytes) / 1e6;
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_HistoryListAll(benchmark::State& state) {
    Year& y = year();
    std::size_t n = 0;
    for (auto _ : state) {
        auto all = y.store->list({});
        n = all->size();
        benchmark::DoNotOptimize(all);
    }
    counters(state, n);
}
BENCHMARK(BM_HistoryListAll)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HistoryListOneScanner(benchmark::State& state) {
    Year& y = year();
    std::size_t n = 0;
    for (auto _ : state) {
        auto mine = y.store->list({.serial = y.some_serial, .since = {}});
        n = mine->size();
        benchmark::DoNotOptimize(mine);
    }
    counters(state, n);
}
BENCHMARK(BM_HistoryListOneScanner)->Unit(benchmark::kMicrosecond);

} // namespace
