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

UpdateRun run_update(FlashLibrary& lib, const std::string& hex_path, const char* port) {
    UpdateRun run;
    char name[33];
    std::fill_n(name, 32, ' ');
    name[32] = '\0';
    auto step = [&](const char* what, std::int32_t result) {
        if (result != 1 && run.ok()) {
            run.failed_step = what;
            run.error = lib.last_error();
        }
        return result == 1;
    };
    const bool ok =
        step("SetCom", lib.SetCom(port, 57600)) && step("InitMonitor", lib.InitMonitor(name)) &&
        step("AdjustCpuFrequency", lib.AdjustCpuFrequency(&run.hz)) &&
        step("LoadFile", lib.LoadFile(hex_path.c_str(), &run.size)) &&
        step("AutoROMS1", lib.AutoROMS1(&run.roms1)) &&
        step("GetHexFileBlock", lib.GetHexFileBlock(&run.block)) &&
        step("EraseFlash", lib.EraseFlash(run.block)) && step("ProgramFlash", lib.ProgramFlash());
    (void)ok;
    (void)lib.CloseCom();
    run.name = name;
    return run;
}

SimRig::SimRig(std::uint32_t seed, sim::TargetConfig config, sim::LineConfig line_cfg)
    : target(memory, std::move(config)), line_config(line_cfg),
      library([this](const std::string&, std::int32_t, std::string&) -> std::unique_ptr<Transport> {
          auto l = std::make_unique<sim::VirtualLine>(target, line_config);
          target.enter(l->now());
          line = l.get();
          return l;
      }) {
    std::mt19937 rng(seed);
    before.resize(memory.content().size());
    for (auto& b : before) {
        b = static_cast<std::uint8_t>(rng());
    }
    memory.load(before);
}

std::vector<std::uint8_t> SimRig::expected(const Chunks& image, std::uint32_t mask) const {
    std::vector<std::uint8_t> out = before;
    const auto& sectors = memory.layout().sectors;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        if ((mask >> i & 1U) != 0) {
            std::fill_n(out.begin() + sectors[i].start, sectors[i].size, 0xFF);
        }
    }
    for (const auto& [start, data] : image) {
        std::copy(data.begin(), data.end(), out.begin() + start);
    }
    return out;
}

std::vector<std::size_t> SimRig::changed_outside(std::uint32_t mask) const {
    std::vector<std::size_t> changed;
    const auto& sectors = memory.layout().sectors;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const auto now = memory.sector_content(i);
        if ((mask >> i & 1U) == 0 &&
            !std::equal(now.begin(), now.end(), before.begin() + sectors[i].start)) {
            changed.push_back(i);
        }
    }
    return changed;
}

} // namespace trx::flash::testing
