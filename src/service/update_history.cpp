#include "service/update_history.hpp"

#include "base/crc32.hpp"

#include <array>
#include <fstream>
#include <iterator>
#include <vector>

namespace trx::service {

namespace {

// One per step, in the order of UpdateStep: a failed verify or read-back names its step too.
constexpr std::array<std::string_view, 12> k_step_names{
    "reset",        "bootstrap",  "open_com",           "init_monitor", "adjust_cpu_frequency",
    "load_file",    "auto_roms1", "get_hex_file_block", "erase_flash",  "program_flash",
    "verify_flash", "read_flash"};
static_assert(static_cast<std::size_t>(UpdateStep::read_flash) + 1 == k_step_names.size());

} // namespace

std::string_view step_name(UpdateStep step) {
    return k_step_names.at(static_cast<std::size_t>(step));
}

history::UpdateRecord update_record(const RunSummary& run, const UpdateSequence& sequence,
                                    const UpdateValues& values, const Result<Done>& outcome) {
    history::UpdateRecord r;
    r.kind = run.kind;
    r.serial = run.serial;
    r.image = run.image;
    r.identity = run.identity;
    r.sectors_skipped = run.skipped;
    r.line_baud = sequence.transfer_baud();
    std::ifstream in(run.kind == history::Kind::read_back ? std::string() : run.image,
                     std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (in || in.eof()) {
        r.image_crc = crc32_update(0, bytes);
        r.image_bytes = static_cast<std::int64_t>(bytes.size());
    }
    r.target = values.target_name;
    r.duration_s = run.duration_s;
    if (!outcome) {
        r.failed = outcome.error();
        if (const auto failed = sequence.failed_step()) {
            r.failed_step = step_name(*failed);
        }
    }
    return r;
}

} // namespace trx::service
