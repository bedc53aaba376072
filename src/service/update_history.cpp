#include "service/update_history.hpp"

#include "base/crc32.hpp"

#include <array>
#include <fstream>
#include <iterator>
#include <vector>

namespace trx::service {

namespace {

constexpr std::array<std::string_view, 10> k_step_names{
    "reset",     "bootstrap",  "open_com",           "init_monitor", "adjust_cpu_frequency",
    "load_file", "auto_roms1", "get_hex_file_block", "erase_flash",  "program_flash"};

} // namespace

std::string_view step_name(UpdateStep step) {
    return k_step_names.at(static_cast<std::size_t>(step));
}

history::UpdateRecord update_record(history::Kind kind, const std::string& hex_path,
                                    const UpdateValues& values, std::optional<UpdateStep> failed,
                                    const Result<Done>& outcome, double duration_s,
                                    std::optional<std::uint32_t> serial) {
    history::UpdateRecord r;
    r.kind = kind;
    r.serial = serial;
    r.image = hex_path;
    std::ifstream in(hex_path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (in || in.eof()) {
        r.image_crc = crc32_update(0, bytes);
        r.image_bytes = static_cast<std::int64_t>(bytes.size());
    }
    r.target = values.target_name;
    r.duration_s = duration_s;
    if (!outcome) {
        r.failed = outcome.error();
        if (failed) {
            r.failed_step = step_name(*failed);
        }
    }
    return r;
}

} // namespace trx::service
