#include "sim_rig.hpp"

#include <fstream>
#include <random>

namespace trx::flash::testing {

std::string intel_record(std::uint8_t type, std::uint16_t offset,
                         std::span<const std::uint8_t> data) {
    static const char* digits = "0123456789ABCDEF";
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>(-sum & 0xFFU));
    std::string out = ":";
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

std::string to_intel_hex(const Chunks& chunks) {
    std::string out;
    std::uint32_t upper = 0xFFFFFFFF;
    for (const auto& [start, data] : chunks) {
        std::size_t i = 0;
        while (i < data.size()) {
            const auto a = static_cast<std::uint32_t>(start + i);
            const std::size_t n =
                std::min<std::size_t>({16, data.size() - i, 0x10000 - (a & 0xFFFF)});
            if (a >> 16 != upper) {
                upper = a >> 16;
                const std::uint8_t ext[] = {static_cast<std::uint8_t>(upper >> 8),
                                            static_cast<std::uint8_t>(upper & 0xFF)};
                out += intel_record(4, 0, ext) + "\r\n";
            }
            out += intel_record(0, static_cast<std::uint16_t>(a & 0xFFFF),
                                std::span(data).subspan(i, n)) +
                   "\r\n";
            i += n;
        }
    }
    out += intel_record(1, 0, {}) + "\r\n";
    return out;
}

Chunks random_chunk(std::uint32_t start, std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> data(count);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng() % 255);
    }
    return Chunks{{start, data}};
}

std::vector<std::uint8_t> code_like(std::size_t count, std::uint32_t seed) {
    std::mt19937 idioms(1234);
    std::vector<std::vector<std::uint8_t>> repertoire(24);
    for (auto& r : repertoire) {
        r.resize(4 + idioms() % 13);
        for (auto& b : r) {
            b = static_cast<std::uint8_t>(idioms());
        }
    }
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out;
    while (out.size() < count) {
        auto piece = repertoire[rng() % repertoire.size()];
        if (rng() % 4 == 0) {
            piece[rng() % piece.size()] = static_cast<std::uint8_t>(rng());
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(count);
    return out;
}

Chunks code_chunk(std::uint32_t start, std::size_t count, std::uint32_t seed) {
    return Chunks{{start, code_like(count, seed)}};
}

TempHex::TempHex(const std::string& text) {
    static std::mt19937_64 names(std::random_device{}());
    dir_ = std::filesystem::temp_directory_path() / ("trx_flash_" + std::to_string(names()));
    std::filesystem::create_directories(dir_);
    std::ofstream(path(), std::ios::binary) << text;
}

TempHex::~TempHex() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

UpdateRun run_update(FlashLibrary& lib, const std::string& hex_path, const char* port,
                     const RunClock& clock) {
    UpdateRun run;
    char name[33];
    std::fill_n(name, 32, ' ');
    name[32] = '\0';
    auto step = [&](const char* what, auto&& call) {
        const auto started = clock ? clock() : std::chrono::nanoseconds{};
        const std::int32_t result = call();
        if (clock) {
            run.took[what] = clock() - started;
        }
        if (result != 1 && run.ok()) {
            run.failed_step = what;
            run.error = lib.last_error();
        }
        return result == 1;
    };
    const bool ok = step("SetCom", [&] { return lib.SetCom(port, 57600); }) &&
                    step("InitMonitor", [&] { return lib.InitMonitor(name); }) &&
                    step("AdjustCpuFrequency", [&] { return lib.AdjustCpuFrequency(&run.hz); }) &&
                    step("LoadFile", [&] { return lib.LoadFile(hex_path.c_str(), &run.size); }) &&
                    step("AutoROMS1", [&] { return lib.AutoROMS1(&run.roms1); }) &&
                    step("GetHexFileBlock", [&] { return lib.GetHexFileBlock(&run.block); }) &&
                    step("EraseFlash", [&] { return lib.EraseFlash(run.block); }) &&
                    step("ProgramFlash", [&] { return lib.ProgramFlash(); });
    (void)ok;
    (void)lib.CloseCom();
    run.name = name;
    return run;
}

SimRig::SimRig(std::uint32_t seed, sim::TargetConfig config, sim::LineConfig line_cfg,
               FlashLayout layout)
    : memory(std::move(layout)), target(memory, std::move(config)), line_config(line_cfg),
      library([this](const std::string&, std::int32_t, std::string&) -> std::unique_ptr<Transport> {
          line = std::make_unique<sim::VirtualLine>(target, line_config);
          target.enter(line->now());
          // The rig's port stays at 57600: the rate tests bring their own.
          return std::make_unique<sim::LineEnd>(*line, false);
      }) {
    std::mt19937 rng(seed);
    before.resize(memory.content().size());
    for (auto& b : before) {
        b = static_cast<std::uint8_t>(rng());
    }
    memory.load(before);
}

bool SimRig::stays_in_loader() {
    // An hour later: work begun (a slow erase) has ended, and the silence has reset it.
    auto t = (line ? line->now() : Transport::Duration{}) + std::chrono::hours(1);
    std::string out;
    target.poll(t, out);
    if (!target.finished()) {
        target.reset(t);
    }
    t += proto::k_loader_silence + std::chrono::seconds(1);
    target.poll(t, out);
    return !target.finished();
}

UpdateRun SimRig::update(const std::string& hex_path) {
    return run_update(library, hex_path, "COM1",
                      [this] { return line ? line->now() : std::chrono::nanoseconds{}; });
}

bool SimRig::reset_vector_blank() const {
    return !memory.first_not_blank(target.reset_vector(), proto::k_reset_vector_size).has_value();
}

std::vector<std::uint8_t> SimRig::expected(const Chunks& image, std::uint32_t mask) const {
    std::vector<std::uint8_t> out = before;
    const auto& sectors = memory.layout().sectors;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((mask >> i & 1U) != 0) {
            std::fill_n(out.begin() + (sectors[i].start - memory.base()), sectors[i].size, 0xFF);
        }
    }
    for (const auto& [start, data] : image) {
        std::copy(data.begin(), data.end(), out.begin() + (start - memory.base()));
    }
    return out;
}

std::vector<std::size_t> SimRig::changed_outside(std::uint32_t mask) const {
    std::vector<std::size_t> changed;
    const auto& sectors = memory.layout().sectors;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const auto now = memory.sector_content(i);
        if ((mask >> i & 1U) == 0 &&
            !std::equal(now.begin(), now.end(),
                        before.begin() + (sectors[i].start - memory.base()))) {
            changed.push_back(i);
        }
    }
    return changed;
}

} // namespace trx::flash::testing
